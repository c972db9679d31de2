#pragma once
// The terminal (console) the program writes to.

#include <string>

namespace platform {

// The width in columns of the terminal standard output goes to; 0 when it goes elsewhere.
int outputColumns();

// Shows `prompt` on the terminal the program runs on and reads one line there with the echo
// off (a passphrase). False when there is no terminal or nothing could be read.
bool readHiddenLine(const std::string& prompt, std::string& line);

// Reads one line from the open descriptor `fd` (a pipe a script hands over), without its end.
// False when nothing could be read.
bool readLineFromDescriptor(int fd, std::string& line);

}  // namespace platform
