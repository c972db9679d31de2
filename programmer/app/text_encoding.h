#pragma once
// The program's texts are 8-bit Latin-1 (for example the "\xB5" of "Main \xB5P"); front ends that
// show UTF-8 convert them here.

#include <string>

namespace app {

std::string Latin1ToUtf8(const std::string& latin1);

}  // namespace app
