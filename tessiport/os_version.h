#pragma once
// Whether the library runs on an operating system it was built for.

namespace tessiport {

// Windows: the NT family, version 5 or later. Every system the library builds for elsewhere.
bool operatingSystemSupported();

}  // namespace tessiport
