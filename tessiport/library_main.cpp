// The library's constructor and destructor: process attach and detach. Built into the shared
// library only, so that test programs linking the static core do not attach by themselves.

#include "tessiport/process_attach.h"

namespace {

__attribute__((constructor)) void onLoad() { tessiport::attachProcess(); }

__attribute__((destructor)) void onUnload() { tessiport::detachProcess(); }

}  // namespace
