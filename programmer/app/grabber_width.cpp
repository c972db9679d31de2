#include "programmer/app/grabber_width.h"

#include <algorithm>

namespace app {

ConnectionCause GrabberWidthCause(const std::vector<GrabberCandidate>& candidates, bool program64) {
    const files::PeMachine own = program64 ? files::PeMachine::kX64 : files::PeMachine::kX86;
    const files::PeMachine other = program64 ? files::PeMachine::kX86 : files::PeMachine::kX64;
    std::vector<std::string> names;
    for (const GrabberCandidate& candidate : candidates) {
        if (candidate.machine == own)
            return {};
        if (candidate.machine == other &&
            std::find(names.begin(), names.end(), candidate.name) == names.end())
            names.push_back(candidate.name);
    }
    if (names.empty())
        return {};
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    const std::string width = program64 ? "64-bit" : "32-bit";
    const std::string otherWidth = program64 ? "32-bit" : "64-bit";
    const std::string program =
        program64 ? "the 32-bit kelvoflash (start menu \"kelvoflash (32-bit frame grabbers)\", "
                    "folder 32-bit)"
                  : "the 64-bit kelvoflash (start menu \"kelvoflash\", the installation folder)";
    return {kWrongWidthCause,
            "This " + width + " program cannot load the frame grabber library: only " + otherWidth +
                " ones were found (" + list + ").\nStart " + program + " instead."};
}

}  // namespace app
