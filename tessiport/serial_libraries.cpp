#include "tessiport/serial_libraries.h"

#include <mutex>

#include "tessiport/no_destructor.h"

namespace tessiport {

namespace {
// Never destroyed: the process detach unloads what is left after the static destructors.
std::mutex& loaderMutex() {
    static NoDestructor<std::mutex> mutex;
    return mutex.get();
}
}  // namespace

bool loadSerialLibrary(platform::DynamicLibrary& library, const std::string& path) {
    std::lock_guard lock(loaderMutex());
    library.close();
    return library.open(path) == 0;
}

void unloadSerialLibrary(platform::DynamicLibrary& library) {
    std::lock_guard lock(loaderMutex());
    library.close();
}

}  // namespace tessiport
