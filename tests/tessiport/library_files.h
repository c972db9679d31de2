#pragma once
// File helpers shared by the tests of the serial interface library, of libclsersim and of the
// programmer's Camera Link road: whole files as text, the lines a log holds, and the names a
// shared library exports.

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace libtest {

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

// The names of the global section of a version script ("global: a; b; local: *;").
inline std::set<std::string> versionScriptNames(const std::string& path) {
    std::stringstream words(readText(path));
    std::set<std::string> names;
    bool global = false;
    for (std::string word; words >> word;) {
        if (word == "global:" || word == "local:")
            global = word == "global:";
        else if (global && word.back() == ';')
            names.insert(word.substr(0, word.size() - 1));
    }
    return names;
}

}  // namespace libtest
