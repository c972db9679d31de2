#pragma once
// What kelvoflash answers on the console before any window opens.

#include <optional>
#include <ostream>
#include <string>

namespace gui {

// The --help text, in the layout of the other programs' help.
std::string ConsoleHelpText();

// --version and --help print to `out` and end with 0; -H or '?' without a display prints the
// usage text there instead of opening its box (with -L the log gets its start and end lines as
// for the box); any other start without a display is refused on `err` with 1. Nothing when the
// dialogs should start.
std::optional<int> AnswerOnConsole(int argc, const char* const* argv, bool haveDisplay,
                                   std::ostream& out, std::ostream& err);

// A display to open windows on: X11, Wayland, or a platform chosen for Qt (offscreen in tests).
bool HaveDisplay();

}  // namespace gui
