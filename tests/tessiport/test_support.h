#pragma once
// Helpers shared by the tests of the serial interface library, of libclsersim and of the
// programmer's Camera Link road: telegrams as bytes, whole files as text, the lines a log holds,
// and the names a shared library exports.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace libtest {

using Bytes = std::vector<uint8_t>;

// A command or reply telegram with its length field and checksum (a wrong one on request).
inline Bytes telegram(uint16_t code, const Bytes& payload = {}, bool goodChecksum = true) {
    Bytes t(payload.size() + 5);
    t[0] = uint8_t(code);
    t[1] = uint8_t(code >> 8);
    t[2] = uint8_t(t.size());
    t[3] = uint8_t(t.size() >> 8);
    for (size_t i = 0; i < payload.size(); ++i)
        t[4 + i] = payload[i];
    for (size_t i = 0; i + 1 < t.size(); ++i)
        t.back() = uint8_t(t.back() + t[i]);
    t.back() = uint8_t(t.back() + (goodChecksum ? 0 : 1));
    return t;
}
inline Bytes u32Bytes(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
// Little-endian fields of a reply; a marker value when the reply is too short.
inline uint16_t u16At(const Bytes& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(b[at] | b[at + 1] << 8) : 0xDEAD;
}
inline uint32_t u32At(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(u16At(b, at) | u16At(b, at + 2) << 16) : 0xDEADBEEF;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeText(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The lines of the file at `path` that start with `prefix`.
inline std::vector<std::string> linesStartingWith(const std::string& path,
                                                  const std::string& prefix) {
    std::ifstream file(path);
    std::vector<std::string> found;
    for (std::string line; std::getline(file, line);)
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    return found;
}

// The names a shared library exports, as the dynamic symbol table lists them.
inline std::set<std::string> exportedNames(const std::string& library) {
    std::set<std::string> names;
    FILE* nm = ::popen(("nm -D --defined-only " + library).c_str(), "r");
    char line[512];
    while (nm != nullptr && std::fgets(line, sizeof line, nm) != nullptr) {
        std::string text(line);
        text = text.substr(text.rfind(' ') + 1);
        text.pop_back();  // the newline
        names.insert(text);
    }
    if (nm != nullptr)
        ::pclose(nm);
    return names;
}

}  // namespace libtest
