#pragma once
// The system's loader behind DynamicLibrary: dynamic_library.cpp and its Windows twin define
// these; the object's life (ownership, moves, the error text of a failed load) is written once in
// dynamic_library_object.cpp.

#include <string>

namespace platform {

// Loads the library file `fileName`; nullptr with the loader's explanation in `error`.
void* loadLibraryFile(const std::string& fileName, std::string& error);
void freeLibraryFile(void* handle);
void* librarySymbol(void* handle, const char* name);

// Whether `text` ends in `tail`, a lower-case ASCII text, in any case.
bool endsWithNoCase(const std::string& text, const std::string& tail);

}  // namespace platform
