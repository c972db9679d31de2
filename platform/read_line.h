#pragma once
// One line read byte by byte, so that nothing past its end is taken from the source.

#include <string>

namespace platform {

// `readByte(char&)` gives the next byte, false at the end or on an error. The line is returned
// without its "\n" or "\r\n"; false when nothing at all could be read.
template <class ReadByte>
bool readLineByBytes(ReadByte readByte, std::string& line) {
    line.clear();
    bool any = false;
    for (char c = 0; readByte(c);) {
        any = true;
        if (c == '\n')
            break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

}  // namespace platform
