#pragma once
// An object that lives in static storage and is never destroyed: the process detach runs after
// the static destructors when a process exits, and still needs it. Not heap memory, so nothing
// is reported as leaked when the library is unloaded.

#include <new>
#include <utility>

namespace tessiport {

template <typename T>
class NoDestructor {
public:
    template <typename... Args>
    explicit NoDestructor(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace tessiport
