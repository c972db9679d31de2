#include "tessiport/os_version.h"

namespace tessiport {

// A build for this system runs on it.
bool operatingSystemSupported() {
    return true;
}

}  // namespace tessiport
