#include "programmer/app/command_line.h"

#include <algorithm>
#include <cctype>

namespace app {

namespace {

// Reads a number the way atoi does (blanks, sign, digits), but saturates instead of overflowing;
// every saturated value is out of range for the options anyway.
long long readNumber(const std::string& text, size_t position) {
    while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position])))
        ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    long long value = 0;
    while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
        if (value < 100000000000LL) value = value * 10 + (text[position] - '0');
        ++position;
    }
    return negative ? -value : value;
}

int inRangeOrZero(long long value, int low, int high) {
    return value < low || value > high ? 0 : static_cast<int>(value);
}

}  // namespace

std::string ArgumentsAfterProgramName(int argc, const char* const* argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    return joined;
}

std::string ArgumentsAfterExe(const std::string& commandLine) {
    const size_t exe = commandLine.find("exe");
    if (exe != std::string::npos) {
        const size_t start = exe + 4;  // past "exe" and the closing quote or blank after it
        return start < commandLine.size() ? commandLine.substr(start) : std::string();
    }
    size_t end = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        end = commandLine.find('"', 1);
        end = end == std::string::npos ? commandLine.size() : end + 1;
    } else {
        end = std::min(commandLine.find(' '), commandLine.size());
    }
    return end + 1 < commandLine.size() ? commandLine.substr(end + 1) : std::string();
}

CommandLineRequest ParseCommandLine(const std::string& arguments, StartOptions& options) {
    CommandLineRequest request;
    if (arguments.find('?') != std::string::npos) {
        request.helpRequested = true;
        return request;
    }
    size_t dash = arguments.find('-');
    while (dash != std::string::npos) {
        const size_t letterAt = dash + 1;
        if (letterAt >= arguments.size()) break;
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(arguments[letterAt])));
        // The next option starts at the next '-' after the letter; for -N that also ends the name.
        size_t next = arguments.find('-', letterAt + 1);
        switch (letter) {
            case 'B':
                options.portNumber = inRangeOrZero(readNumber(arguments, letterAt + 1), 0, 8);
                break;
            case 'T':
                options.interfaceType = inRangeOrZero(readNumber(arguments, letterAt + 1), 0, 3);
                break;
            case 'P':
                options.packetMode = inRangeOrZero(readNumber(arguments, letterAt + 1), 0, 2);
                break;
            case 'E':
                options.emergencyMode = true;
                break;
            case 'S':
                options.connectWithoutDialog = true;
                break;
            case 'L':
                request.openLog = true;
                break;
            case 'H':
                request.helpRequested = true;
                break;
            case 'R': {
                // A file name may hold '-': it runs to the next option after a blank.
                const size_t option = arguments.find(" -", letterAt + 1);
                size_t end = option == std::string::npos ? arguments.size() : option;
                while (end > letterAt + 1 && arguments[end - 1] == ' ') --end;
                request.recordPath = arguments.substr(letterAt + 1, end - (letterAt + 1));
                next = option == std::string::npos ? option : option + 1;
                break;
            }
            case 'N': {
                const size_t end = next == std::string::npos ? arguments.size() : next;
                const size_t length = std::min(end - (letterAt + 1), kGrabberDllOptionMax);
                options.grabberDll = arguments.substr(letterAt + 1, length);
                break;
            }
            default:
                break;
        }
        dash = next;
    }
    return request;
}

std::string UsageText() {
    std::string text;
    text += "usage: ";
    text += "\n -E\t\t: emergency mode";
    text += "\n -L\t\t: logging enabled";
    text += "\n -Px\t\t: Packetmode x=[0...2]";
    text += "\n\t\t: 1:device packet,2: file packet";
    text += "\n -Bx\t\t: portnumber x=[0...7] ";
    text += "\n -Tx\t\t: interface type x=[0...3]";
    text += "\n\t\t: 0: ComPort, 1: Firewire, 2: CameraLink, 3: USB, 4: GigE";
    text += "\n -Nx\t\t: cameralink dll x=name of dll";
    text += "\n -Sx\t\t: connect without select dialog";
    text += "\n -H, ?\t\t: this Help text";
    return text;
}

}  // namespace app
