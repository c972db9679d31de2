#pragma once
// The flows' texts as the Windows A functions take them: the manifest makes UTF-8 the process
// code page, and the flows' texts are Latin-1 ("Main \xB5P").

#include <string>

#include "programmer/app/text_encoding.h"

namespace win32 {

inline std::string shownText(const std::string& text) { return app::Latin1ToUtf8(text); }

}  // namespace win32
