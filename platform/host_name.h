#pragma once
// The name of this computer, for records of what was done where.

#include <string>

namespace platform {

// Empty when the system does not say.
std::string hostName();

}  // namespace platform
