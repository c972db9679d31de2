#pragma once
// The places searched for a frame grabber's Camera Link serial library: the directory named by
// the environment variable CLSERIALPATH (the Camera Link standard's place where there is no
// registry), the system directory of grabber libraries, and the folder of this library.

#include <string>
#include <vector>

namespace tessiport {

struct SerialPlaces {
    bool registryKey = false;  // CLSERIALPATH is set
    std::string registryDir;   // with a trailing '/'; empty when the value is empty or too long
    std::string systemDir;     // $TESSIPORT_SYSTEM_DIR, else the install's library directory
    std::string ownFile;       // this library's own file name

    // The folder of ownFile, up to and including its last '/'.
    std::string ownDir() const;
};

SerialPlaces currentSerialPlaces();

// The pattern "clser*.dll" on this platform, and the test of a file name against it: "libclser"
// and ".so" in any case, as the file search of the other platform ignores case.
extern const char* const kSerialPattern;
bool matchesSerialPattern(const std::string& fileName);

// The name a library file is offered under in the selection: "libclsertest.so" -> "clsertest"
// ("clsertest.dll" on Windows). Empty unless the extension is exactly the platform's one, in
// lower case.
std::string offeredName(const std::string& fileName);

// Names of the regular files in `dir` that match the pattern, sorted.
std::vector<std::string> findSerialLibraries(const std::string& dir);

bool isRegularFile(const std::string& path);

}  // namespace tessiport
