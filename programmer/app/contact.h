#pragma once
// The maker's contact line, shown after every message that asks the user to contact the maker.

#include <string>

namespace app {

extern const char* const kContactLine;

// The message followed by the contact line when it ends in "Please contact QEL AG" or
// "...QEL AG!" (a trailing line feed allowed); otherwise the message unchanged.
std::string WithContactLine(const std::string& message);

}  // namespace app
