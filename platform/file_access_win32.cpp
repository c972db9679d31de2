#include "platform/file_access.h"

namespace platform {

bool writableByOthers(const std::string&) {
    return false;
}

}  // namespace platform
