// The Windows sources of platform/ against the system (Wine in CI): loading, the registry, the
// places, file times, the clock, the COM port list, the port diagnosis and the console handler.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/clock.h"
#include "platform/com_port.h"
#include "platform/dynamic_library.h"
#include "platform/file_times.h"
#include "platform/places.h"
#include "platform/port_diagnosis.h"
#include "platform/registry.h"
#include "platform/serial_ports_list.h"
#include "platform/stop_requests.h"
#include "platform/terminal.h"

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Values of HKEY_LOCAL_MACHINE written for one test and deleted after it, with their key if the
// test made it.
class MachineKey {
public:
    explicit MachineKey(std::string path) : path_(std::move(path)) {
        DWORD disposition = 0;
        EXPECT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key_, &disposition),
                  ERROR_SUCCESS);
        made_ = disposition == REG_CREATED_NEW_KEY;
    }
    ~MachineKey() {
        for (const std::string& name : written_)
            ::RegDeleteValueA(key_, name.c_str());
        ::RegCloseKey(key_);
        if (made_)
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    void set(const std::string& name, const std::string& text) {
        written_.push_back(name);
        EXPECT_EQ(::RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)),
                  ERROR_SUCCESS);
    }

private:
    std::string path_;
    HKEY key_ = nullptr;
    bool made_ = false;
    std::vector<std::string> written_;
};

TEST(Win32Platform, LibraryNamesGetTheLoadersExtensionOnlyWhenTheyHaveNone) {
    const std::pair<const char*, const char*> cases[] = {
        {"tessiport.dll", "tessiport.dll"}, {"clserme4", "clserme4.dll"},
        {"CLSERME4.DLL", "CLSERME4.DLL"},   {"clser*.dll", "clser*.dll"},
        {"C:\\grabber\\clserxy", "C:\\grabber\\clserxy"}, {"", ""}};
    for (const auto& [name, mapped] : cases)
        EXPECT_EQ(platform::platformLibraryName(name), mapped) << name;
}

TEST(Win32Platform, ALibraryLoadsItsFunctionsAreFoundAndAMissingOneIsNull) {
    platform::DynamicLibrary library;
    ASSERT_EQ(library.open("kernel32"), 0) << library.lastError();
    EXPECT_EQ(library.function<decltype(&::GetTickCount)>("GetTickCount"), &::GetTickCount);
    EXPECT_EQ(library.symbol("NoSuchFunctionAnywhere"), nullptr);
    platform::DynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.isOpen());
    EXPECT_TRUE(moved.isOpen());

    platform::DynamicLibrary missing;
    EXPECT_EQ(missing.open("clsernowhere.dll"), ENOENT);
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(missing.lastError().rfind("clsernowhere.dll: ", 0), 0u) << missing.lastError();
    EXPECT_EQ(missing.symbol("GetTickCount"), nullptr);
}

TEST(Win32Platform, TheRegistryReadTellsAMissingKeyFromAMissingValue) {
    const std::string key = "Software\\kelvoflash-platform-test";
    std::string text = "stale";
    EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), platform::RegistryRead::kNoKey);
    EXPECT_EQ(text, "");
    MachineKey written(key);
    EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), platform::RegistryRead::kNoValue);
    written.set("CLSERIALPATH", "C:\\grabbers\\serial");
    EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), platform::RegistryRead::kFound);
    EXPECT_EQ(text, "C:\\grabbers\\serial");
    written.set("EMPTY", "");
    EXPECT_EQ(platform::readMachineText(key, "EMPTY", text), platform::RegistryRead::kFound);
    EXPECT_EQ(text, "");
}

TEST(Win32Platform, PlacesAreTheSystemsFolders) {
    const std::string system = lower(platform::systemDirectory());
    EXPECT_TRUE(endsWith(system, "\\system32") || endsWith(system, "\\syswow64")) << system;
    EXPECT_NE(::GetFileAttributesA(system.c_str()), INVALID_FILE_ATTRIBUTES);

    // The module of an address: this program for its own code, the library for a library's.
    EXPECT_TRUE(endsWith(lower(platform::moduleFileName(reinterpret_cast<const void*>(&lower))),
                         "\\platform_tests.exe"));
    const void* inKernel = reinterpret_cast<const void*>(&::GetTickCount);
    EXPECT_TRUE(endsWith(lower(platform::moduleFileName(inKernel)), "\\kernel32.dll"))
        << platform::moduleFileName(inKernel);

    char common[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common),
              S_OK);
    EXPECT_EQ(platform::dataFolder(), std::string(common) + "\\qel");
}

// The programs load their libraries from their own folder; clsersim.dll is built beside the tests.
TEST(Win32Platform, InstalledLibrariesAreTheOnesBesideTheProgram) {
    std::string folder = platform::moduleFileName(reinterpret_cast<const void*>(&lower));
    folder.erase(folder.find_last_of('\\') + 1);
    EXPECT_EQ(platform::installedLibraryPath("clsersim.dll"), folder + "clsersim.dll");
    EXPECT_EQ(platform::installedLibraryPath("clsersim"), folder + "clsersim.dll");
    EXPECT_EQ(platform::installedLibraryPath("clsernowhere.dll"), "clsernowhere.dll");
    EXPECT_EQ(platform::installedLibraryPath("C:\\grabber\\clsersim.dll"),
              "C:\\grabber\\clsersim.dll");
}

TEST(Win32Platform, NoDeviceStandsForAComPortAndOutputToAPipeHasNoColumns) {
    EXPECT_EQ(platform::useDeviceForComPort(1, "/dev/pts/3"), ENOTSUP);
    EXPECT_EQ(platform::outputColumns(), 0);  // CTest reads the output through a pipe
}

TEST(Win32Platform, AFilesCreationTimeIsWhenItWasMadeInUtc) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "kelvoflash-file-time.bin";
    SYSTEMTIME before{};
    ::GetSystemTime(&before);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    platform::UtcTime made;
    EXPECT_EQ(platform::fileCreationTimeUtc(path, made), 0);
    ::DeleteFileA(path.c_str());
    EXPECT_EQ(made.year, before.wYear);
    EXPECT_EQ(made.month, before.wMonth);
    EXPECT_EQ(made.day, before.wDay);
    const int minutes = made.hour * 60 + made.minute, then = before.wHour * 60 + before.wMinute;
    EXPECT_LE(std::abs(minutes - then), 1);

    EXPECT_EQ(platform::fileCreationTimeUtc(path, made), ENOENT);
}

TEST(Win32Platform, TheRealClockSleepsAndAdvances) {
    platform::Clock& clock = platform::realClock();
    const platform::Milliseconds start = clock.now();
    clock.sleepFor(platform::Milliseconds(60));
    const auto slept = clock.now() - start;
    EXPECT_GE(slept.count(), 59);
    EXPECT_LT(slept.count(), 1000);
}

TEST(Win32Platform, TheComPortsAreTheSerialCommValuesSortedByName) {
    MachineKey serialComm("HARDWARE\\DEVICEMAP\\SERIALCOMM");
    serialComm.set("\\Device\\KelvoTest9", "COM79");
    serialComm.set("\\Device\\KelvoTest8", "COM78");
    std::vector<std::string> ours;
    std::string previous;
    for (const platform::SerialDevice& device : platform::listSerialDevices()) {
        EXPECT_LE(previous, device.path);
        previous = device.path;
        if (device.path == "COM78" || device.path == "COM79")
            ours.push_back(device.path + " " + device.driver);
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"COM78 \\Device\\KelvoTest8",
                                              "COM79 \\Device\\KelvoTest9"}));
    EXPECT_EQ(platform::countPseudoTerminals(), 0);
}

TEST(Win32Platform, AMissingComPortIsDiagnosedAsMissing) {
    const platform::PortDiagnosis missing = platform::diagnosePort("\\\\.\\COM250", {57600});
    EXPECT_EQ(missing.cause, platform::PortCause::kMissing);
    EXPECT_EQ(missing.line.rfind("Cause: \\\\.\\COM250 does not exist; ", 0), 0u) << missing.line;
    EXPECT_TRUE(platform::lockHolders("\\\\.\\COM1").empty());
}

std::atomic<int> stopRequest{0};

// Wine gives a program a console only on a terminal: CTest runs this case once more under one.
TEST(Win32Console, CtrlCReachesTheStopHandlerAsAnInterrupt) {
    platform::installStopHandler([](int request) { stopRequest = request; });
    platform::holdStopRequests();
    if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        platform::releaseStopRequests();
        GTEST_SKIP() << "no console";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(stopRequest.load(), 0);  // held back
    platform::releaseStopRequests();
    for (int i = 0; i < 100 && stopRequest == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stopRequest.load(), platform::kStopInterrupt);
}

}  // namespace
