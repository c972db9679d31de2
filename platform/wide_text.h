#pragma once
// Text crosses the Win32 boundary in UTF-16 (the W functions) and stays UTF-8 inside the system,
// so names and messages survive whatever ANSI code page the machine runs with. Windows only.

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Ill-formed input bytes become U+FFFD; an empty text gives an empty text.
std::wstring widen(std::string_view utf8);

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD; an empty text gives an empty text.
std::string narrow(std::wstring_view utf16);

}  // namespace platform
