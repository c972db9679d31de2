// The shared block's name on Windows: a named file mapping of the session, as every process of
// the user's session that loads the library finds it.
#include "tessiport/shared_block.h"

namespace tessiport {

std::string sharedBlockPath() {
    return "TESSIPORT";
}

}  // namespace tessiport
