#pragma once
// A run-time loaded shared library (dlopen/dlsym/dlclose), released when the object goes.
// Library names written the Windows way are mapped to this platform's file names in one place.

#include <string>

namespace platform {

// "tessiport.dll" -> "libtessiport.so", "clserme4.dll" or "clserme4" -> "libclserme4.so",
// "clser*.dll" -> "libclser*.so". A name containing '/' is a path and is used as it is; a name
// that already ends in ".so" (or has a ".so." version suffix) is kept.
std::string platformLibraryName(const std::string& name);

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

    // Loads `name` after mapping it with platformLibraryName; the loader's search order applies
    // to names without '/'. Returns 0 or ENOENT (the loader's text is in lastError()).
    int open(const std::string& name);
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    // Address of an exported symbol, or nullptr when it is missing or nothing is loaded.
    void* symbol(const char* name) const;
    template <typename Function>
    Function function(const char* name) const {
        return reinterpret_cast<Function>(symbol(name));
    }

    const std::string& lastError() const { return lastError_; }

private:
    void* handle_ = nullptr;
    std::string lastError_;
};

}  // namespace platform
