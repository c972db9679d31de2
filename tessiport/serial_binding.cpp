#include "tessiport/serial_binding.h"

#include <strings.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/places.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/serial_libraries.h"
#include "tessiport/serial_places.h"
#include "tessiport/serial_selection.h"

namespace tessiport {

namespace {
constexpr const char* kComPortWord = "comport";

unsigned long reference(const void* pointer) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pointer));
}

bool isComPortName(const char* name) {
    return ::strncasecmp(name, kComPortWord, std::char_traits<char>::length(kComPortWord)) == 0;
}

// A name as a command line gives it may end in blanks before the next option.
std::string trimmedName(const char* name) {
    std::string text = name;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

bool storePath(DriverEntry& entry, const std::string& path) {
    if (path.size() >= sizeof entry.libraryPath) return false;
    std::snprintf(entry.libraryPath, sizeof entry.libraryPath, "%s", path.c_str());
    return true;
}

// The candidate exists as a file and its path fits the entry whole (a cut path would name
// another file).
bool usable(const std::string& candidate) {
    return candidate.size() < size_t(kLibraryPathLength) && isRegularFile(candidate);
}

// The named library in the four places; the first place that holds it wins.
uint32_t findNamed(DriverEntry& entry, const std::string& name, const SerialPlaces& places) {
    // "clserme4" and "clserme4.dll" both name libclserme4.so; the rest of the name keeps its case,
    // as the file system tells names apart by case.
    const std::string file = platform::platformLibraryName(name);
    if (!places.registryKey) {
        LogMessage(level::kInfo, 1, "no cameralink key found in registry");
    } else if (places.registryDir.empty()) {
        LogMessage(level::kInfo, 1, "no CLSERIALPATH value found in registry");
    } else {
        LogMessage(level::kInfo, 1, "Scan registry CLSERIALPATH Directory %s",
                   places.registryDir.c_str());
        const std::string candidate = places.registryDir + file;
        if (usable(candidate) && storePath(entry, candidate)) return TP_OK;
        LogMessage(level::kInfo, 1, "no files found in %s", candidate.c_str());
    }

    LogMessage(level::kInfo, 1, "Scan System_Directory %s", places.systemDir.c_str());
    std::string candidate = places.systemDir + platform::kPathSeparator + file;
    if (usable(candidate) && storePath(entry, candidate)) return TP_OK;
    LogMessage(level::kInfo, 1, "No clserdll found in %s", candidate.c_str());

    LogMessage(level::kInfo, 1, "Scan local Directory %s", places.ownFile.c_str());
    candidate = places.ownDir() + file;
    if (!places.ownDir().empty() && usable(candidate) && storePath(entry, candidate))
        return TP_OK;
    LogMessage(level::kInfo, 1, "No clserdll found in %s", candidate.c_str());

    // The name alone, relative to the current directory. A bare file name is given a "./" so
    // that the loader takes this file and does not search its own paths for another.
    candidate = file;
    if (usable(candidate) &&
        storePath(entry, file.find('/') == std::string::npos ? "./" + file : file))
        return TP_OK;
    LogMessage(level::kInfo, 1, "No clserdll found in %s", candidate.c_str());

    if ((entry.initmode & INITMODE_ALLOW_COMPORT) && isComPortName(name.c_str()) &&
        storePath(entry, name))
        return TP_OK;
    LogMessage(level::kInfo, 1, "No clserdll %s found ", name.c_str());
    return TP_ERR_NO_SERIAL_LIBRARY;
}

bool anyInPlace(const std::string& dir) { return !dir.empty() && !findSerialLibraries(dir).empty(); }

// No name: is there anything to choose from? Then the user chooses.
uint32_t chooseLibrary(DriverEntry& entry, const SerialPlaces& places,
                       std::recursive_mutex& dialogLock) {
    bool found = false;
    if (!places.registryKey) {
        LogMessage(level::kInfo, 1, "no cameralink key found in registry");
    } else if (places.registryDir.empty()) {
        LogMessage(level::kInfo, 1, "no CLSERIALPATH value found in registry");
    } else {
        LogMessage(level::kInfo, 1, "Scan registry CLSERIALPATH Directory %s",
                   places.registryDir.c_str());
        found = anyInPlace(places.registryDir);
        if (!found)
            LogMessage(level::kInfo, 1, "no files found in %s%s", places.registryDir.c_str(),
                       kSerialPattern);
    }
    LogMessage(level::kInfo, 1, "Scan System_Directory %s", places.systemDir.c_str());
    const bool inSystem = anyInPlace(places.systemDir);
    if (!inSystem)
        LogMessage(level::kInfo, 1, "No clserdll found in %s%c%s", places.systemDir.c_str(),
                   platform::kPathSeparator, kSerialPattern);
    LogMessage(level::kInfo, 1, "Scan local Directory %s", places.ownFile.c_str());
    const bool inLocal = anyInPlace(places.ownDir());
    if (!inLocal)
        LogMessage(level::kInfo, 1, "No clserdll found in %s%s", places.ownDir().c_str(),
                   kSerialPattern);
    found = found || inSystem || inLocal;

    if (!found && (entry.initmode & INITMODE_ALLOW_COMPORT) == 0) {
        LogMessage(level::kError, 1,
                   "Get_Serial_Functions: no clser*.dll found in path from registry or system "
                   "or in current directory");
        return TP_ERR_NO_SERIAL_LIBRARY;
    }
    int result = kDialogNoChoice;
    {
        std::lock_guard<std::recursive_mutex> guard(dialogLock);
        result = serDlgProc(entry, places);
    }
    if (result == kDialogCancelled) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Dialog cancelled from user");
        return TP_ERR_INVALID_ARGUMENT;
    }
    if (result != kDialogChosen) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Dialog did return with 0");
        return TP_ERR_NO_SERIAL_LIBRARY;
    }
    return TP_OK;
}

// "comport<n>" with n of 1 or more, nothing after it; 0 when the number cannot be read.
int32_t comPortNumberOf(const char* lowerName) {
    const char* digits = lowerName + std::char_traits<char>::length(kComPortWord);
    int64_t number = 0;
    if (*digits == '\0') return 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return 0;
        number = number * 10 + (*p - '0');
        if (number > INT32_MAX) return 0;
    }
    return int32_t(number);
}

uint32_t useComPort(DriverEntry& entry) {
    LogMessage(level::kInfo, 1, "Get_Serial_Functions: use %s", entry.libraryPath);
    for (char* c = entry.libraryPath; *c != '\0'; ++c)
        *c = char(std::tolower(static_cast<unsigned char>(*c)));
    entry.comPortNumber = comPortNumberOf(entry.libraryPath);
    if (entry.comPortNumber < 1) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: no COM port number in %s",
                   entry.libraryPath);
        entry.comPortNumber = 0;
        return TP_ERR_INVALID_ARGUMENT;
    }
    return TP_OK;
}

template <typename Function>
Function bind(const DriverEntry& entry, const char* name) {
    return entry.library.function<Function>(name);
}

uint32_t bindImaq(DriverEntry& entry) {
    uint32_t result = TP_OK;
    LogMessage(level::kInfo, 1, "Get_Serial_Functions: Load imaq Functions");
    entry.pclSerialInit = nullptr;
    entry.pclSerialClose = nullptr;
    entry.pclSerialRead = bind<ClSerialReadFn>(entry, "imgSessionSerialReadBytes");
    if (entry.pclSerialRead == nullptr) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Cannot load function imgSessionSerialRead");
        result = TP_ERR_MISSING_FUNCTION;
    }
    entry.pclSerialWrite = bind<ClSerialWriteFn>(entry, "imgSessionSerialWrite");
    if (entry.pclSerialWrite == nullptr) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Cannot load function imgSessionSerialWrite");
        result = TP_ERR_MISSING_FUNCTION;
    }
    entry.pclSerialFlush = bind<ClFlushPortFn>(entry, "imgSessionSerialFlush");
    if (entry.pclSerialFlush == nullptr) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Cannot load function imgSessionSerialFlush");
        result = TP_ERR_MISSING_FUNCTION;
    }
    LogMessage(level::kInfo, 1, "Get_Serial_Functions: Load imaq Functions done");
    return result;
}

// One required Camera Link function: bound, or logged as missing.
template <typename Function>
void bindRequired(DriverEntry& entry, Function& slot, const char* function, const char* field,
                  uint32_t& result) {
    slot = bind<Function>(entry, function);
    if (slot == nullptr) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Cannot load function %s", function);
        result = TP_ERR_MISSING_FUNCTION;
    }
    LogMessage(level::kInfo, 1, "Get_Serial_Functions: entry->%s= %lx", field,
               reference(reinterpret_cast<const void*>(slot)));
}

template <typename Function>
void bindOptional(DriverEntry& entry, Function& slot, const char* function, const char* field) {
    slot = bind<Function>(entry, function);
    LogMessage(level::kInfo, 1, "Get_Serial_Functions: entry->%s= %lx", field,
               reference(reinterpret_cast<const void*>(slot)));
}

uint32_t bindCameraLink(DriverEntry& entry) {
    uint32_t result = TP_OK;
    entry.pclSerialFlush = nullptr;
    bindRequired(entry, entry.pclSerialInit, "clSerialInit", "pclSerialInit", result);
    bindRequired(entry, entry.pclSerialRead, "clSerialRead", "pclSerialRead", result);
    bindRequired(entry, entry.pclSerialWrite, "clSerialWrite", "pclSerialWrite", result);
    bindRequired(entry, entry.pclSerialClose, "clSerialClose", "pclSerialClose", result);
    LogMessage(level::kInfo, 1, "Get_Serial_Functions: Load normal Functions done");
    bindOptional(entry, entry.pclGetSupportedBaudRates, "clGetSupportedBaudRates",
                 "pclGetSupportedBaudRates");
    bindOptional(entry, entry.pclSetBaudRate, "clSetBaudRate", "pclSetBaudRate");
    bindOptional(entry, entry.pclSerialFlush, "clFlushPort", "pclSerialFlush");
    return result;
}
}  // namespace

uint32_t bindSerialFunctions(DriverEntry& entry, const char* name,
                             std::recursive_mutex& dialogLock, const SerialPlaces& places) {
    releaseSerialFunctions(entry);
    uint32_t result = TP_OK;
    if (name != nullptr) {
        const std::string trimmed = trimmedName(name);
        LogMessage(level::kInfo, 1, "Get_Serial_Functions(%lx,%s)", reference(&entry),
                   trimmed.c_str());
        if (trimmed.empty()) {
            LogMessage(level::kInfo, 1, "No clserdll %s found ", trimmed.c_str());
            return TP_ERR_NO_SERIAL_LIBRARY;
        }
        result = findNamed(entry, trimmed, places);
    } else {
        LogMessage(level::kInfo, 1, "Get_Serial_Functions(%lx,NULL)", reference(&entry));
        result = chooseLibrary(entry, places, dialogLock);
    }
    if (result != TP_OK) return result;

    if (isComPortName(entry.libraryPath)) return useComPort(entry);

    LogMessage(level::kInfo, 1, "Get_Serial_Functions: LoadLibrary(%s)", entry.libraryPath);
    if (!loadSerialLibrary(entry.library, entry.libraryPath)) {
        LogMessage(level::kError, 1, "Get_Serial_Functions: Cannot load Library %s",
                   entry.libraryPath);
        LogMessage(level::kInfo, 1, "Get_Serial_Functions: %s", entry.library.lastError().c_str());
        return TP_ERR_NO_SERIAL_LIBRARY;
    }
    result = (entry.initmode & INITMODE_IMAQ) ? bindImaq(entry) : bindCameraLink(entry);
    // No reference may outlive the library it points into.
    if (result != TP_OK) releaseSerialFunctions(entry);
    return result;
}

uint32_t Get_Serial_Functions(DriverEntry& entry, const char* name,
                              std::recursive_mutex& dialogLock) {
    try {
        return bindSerialFunctions(entry, name, dialogLock, currentSerialPlaces());
    } catch (...) {
        // Only an allocation can throw here.
        releaseSerialFunctions(entry);
        return TP_ERR_NO_SERIAL_LIBRARY;
    }
}

void releaseSerialFunctions(DriverEntry& entry) {
    unloadSerialLibrary(entry.library);
    entry.pclSerialInit = nullptr;
    entry.pclSerialRead = nullptr;
    entry.pclSerialWrite = nullptr;
    entry.pclSerialClose = nullptr;
    entry.pclGetSupportedBaudRates = nullptr;
    entry.pclSetBaudRate = nullptr;
    entry.pclSerialFlush = nullptr;
}

}  // namespace tessiport
