#include "programmer/app/contact.h"

namespace app {

const char* const kContactLine = "www.qel-ag.example  support@qel-ag.example  +41 44 000 00 00\n";

namespace {
bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

std::string WithContactLine(const std::string& message) {
    std::string body = message;
    while (!body.empty() && body.back() == '\n') body.pop_back();
    if (!body.empty() && body.back() == '!') body.pop_back();
    if (!endsWith(body, "contact QEL AG")) return message;
    // The contact line starts on a line of its own.
    std::string text = message;
    if (text.back() != '\n') text += '\n';
    return text + kContactLine;
}

}  // namespace app
