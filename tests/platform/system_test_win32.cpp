// The Windows sources of platform/ against the system (Wine in CI): loading, the registry, the
// places, file times, the clock, the COM port list, the port diagnosis and the console handler;
// names outside the ANSI code page (1252 under Wine here) through each of them.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <io.h>
#include <thread>

#include "platform/clock.h"
#include "platform/com_port.h"
#include "platform/dynamic_library.h"
#include "platform/file_times.h"
#include "platform/places.h"
#include "platform/port_diagnosis.h"
#include "platform/registry.h"
#include "platform/regular_file.h"
#include "platform/serial_ports_list.h"
#include "platform/stop_requests.h"
#include "platform/terminal.h"
#include "platform/wide_text.h"

namespace {

bool endsWithLower(std::string text, const std::string& tail) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Sets a text value of HKEY_LOCAL_MACHINE, making its key when needed.
void setMachineText(const std::string& key, const std::string& name, const std::string& text) {
    EXPECT_EQ(::RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), REG_SZ, text.c_str(),
                                DWORD(text.size() + 1)),
              ERROR_SUCCESS);
}

// Runs `undo` when the test ends, however it ends.
struct Undo {
    std::function<void()> undo;
    ~Undo() { undo(); }
};

// Names get the loader's extension only when they have none; a library's functions are found and
// a missing one is null; the programs take their libraries from their own folder, where
// clsersim.dll is built beside the tests.
TEST(Win32Platform, LibrariesAreNamedFoundAndLoaded) {
    const std::pair<const char*, const char*> names[] = {
        {"tessiport.dll", "tessiport.dll"}, {"clserme4", "clserme4.dll"},
        {"CLSERME4.DLL", "CLSERME4.DLL"},   {"clser*.dll", "clser*.dll"},
        {"C:\\grabber\\clserxy", "C:\\grabber\\clserxy"}, {"", ""}};
    for (const auto& [name, mapped] : names)
        EXPECT_EQ(platform::platformLibraryName(name), mapped) << name;

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

    std::string folder = platform::moduleFileName(reinterpret_cast<const void*>(&endsWithLower));
    folder.erase(folder.find_last_of('\\') + 1);
    for (const char* name : {"clsersim.dll", "clsersim"})
        EXPECT_EQ(platform::installedLibraryPath(name), folder + "clsersim.dll");
    for (const char* kept : {"clsernowhere.dll", "C:\\grabber\\clsersim.dll"})
        EXPECT_EQ(platform::installedLibraryPath(kept), kept);
}

TEST(Win32Platform, TheRegistryReadTellsAMissingKeyFromAMissingValue) {
    const std::string key = "Software\\kelvoflash-platform-test";
    std::string text = "stale";
    EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), platform::RegistryRead::kNoKey);
    EXPECT_EQ(text, "");
    const Undo removeKey{[&] { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()); }};
    setMachineText(key, "OTHER", "x");
    EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), platform::RegistryRead::kNoValue);
    setMachineText(key, "CLSERIALPATH", "C:\\grabbers\\serial");
    EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), platform::RegistryRead::kFound);
    EXPECT_EQ(text, "C:\\grabbers\\serial");
    setMachineText(key, "EMPTY", "");
    EXPECT_EQ(platform::readMachineText(key, "EMPTY", text), platform::RegistryRead::kFound);
    EXPECT_EQ(text, "");
}

// UTF-8 and UTF-16 both ways: Latin, Greek, Japanese and a character beyond the 16-bit plane;
// ill-formed input becomes U+FFFD instead of being dropped or cut.
TEST(Win32Platform, TextCrossesTheBoundaryInUtf16) {
    struct Case {
        std::string utf8;
        std::wstring utf16;
    };
    const Case cases[] = {
        {"", L""},
        {"Main \xC2\xB5P", L"Main \u00B5P"},
        {"Pr\xC3\xBC" "fung \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1",
         L"Pr\u00FCfung \u03A9\u03BC\u03AD\u03B3\u03B1"},
        {"\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9.qup", L"\u30AB\u30E1\u30E9.qup"},
        {"\xF0\x9F\x93\xB7", L"\U0001F4F7"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::widen(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(platform::narrow(c.utf16), c.utf8) << c.utf8;
    }
    EXPECT_EQ(platform::widen("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(platform::narrow(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(platform::widen(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

// A temporary folder named in Greek, Japanese and with an umlaut, made through the W functions.
struct ForeignFolder {
    std::string path;  // UTF-8, with a trailing separator
    ForeignFolder() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        path = platform::narrow(temp) +
               "kelvoflash \xCE\xA9\xCE\xBC \xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9 \xC3\xA4\\";
        ::CreateDirectoryW(platform::widen(path).c_str(), nullptr);
    }
    ~ForeignFolder() {
        for (const char* file : {"clser\xCE\xA9.dll", "data \xC3\xA4.bin"})
            ::DeleteFileW(platform::widen(path + file).c_str());
        ::RemoveDirectoryW(platform::widen(path).c_str());
    }
};

// Files, libraries and file times under such names: each open finds the file the name says, and
// a missing one is reported as missing.
TEST(Win32Platform, NamesOutsideTheAnsiCodePageReachTheirFiles) {
    ASSERT_NE(::GetACP(), UINT(CP_UTF8)) << "the A functions would take UTF-8 here";
    const ForeignFolder folder;
    const std::string data = folder.path + "data \xC3\xA4.bin";
    std::FILE* out = ::_wfopen(platform::widen(data).c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    std::fputs("payload", out);
    std::fclose(out);
    const int fd = platform::openRegularFile(data.c_str(), platform::FileAccess::Read);
    ASSERT_GE(fd, 0) << data;
    char read[16] = {};
    EXPECT_EQ(::_read(fd, read, sizeof read), 7);
    EXPECT_STREQ(read, "payload");
    ::_close(fd);
    platform::UtcTime made;
    EXPECT_EQ(platform::fileCreationTimeUtc(data, made), 0);
    EXPECT_GE(made.year, 2020);
    errno = 0;
    EXPECT_EQ(platform::openRegularFile((folder.path + "missing \xC3\xA4.bin").c_str(),
                                        platform::FileAccess::Read),
              -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(platform::openRegularFile(folder.path.c_str(), platform::FileAccess::Read), -1);
    EXPECT_EQ(errno, EINVAL);
    // Created only where nothing is; removed by its name.
    errno = 0;
    EXPECT_EQ(platform::createRegularFile(data.c_str(), platform::FileAccess::Append), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(platform::removeRegularFile(data.c_str()), 0);
    EXPECT_EQ(platform::removeRegularFile(data.c_str()), ENOENT);
    const int created = platform::createRegularFile(data.c_str(), platform::FileAccess::Append);
    ASSERT_GE(created, 0);
    EXPECT_EQ(::_write(created, "log", 3), 3);
    ::_close(created);
    EXPECT_EQ(::GetFileAttributesW(platform::widen(data).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    // A library copied under a Greek name loads and is the module its functions come from.
    std::string own = platform::moduleFileName(reinterpret_cast<const void*>(&endsWithLower));
    own.erase(own.find_last_of('\\') + 1);
    const std::string copy = folder.path + "clser\xCE\xA9.dll";
    ASSERT_TRUE(::CopyFileW(platform::widen(own + "clsersim.dll").c_str(),
                            platform::widen(copy).c_str(), FALSE));
    {
        platform::DynamicLibrary library;
        ASSERT_EQ(library.open(copy), 0) << library.lastError();
        const void* init = library.symbol("clSerialInit");
        ASSERT_NE(init, nullptr);
        EXPECT_EQ(platform::moduleFileName(init), copy);
        EXPECT_EQ(platform::installedLibraryPath(copy), copy);
    }
    platform::DynamicLibrary missing;
    EXPECT_EQ(missing.open(folder.path + "clser\xCE\xBC.dll"), ENOENT);
    EXPECT_EQ(missing.lastError().rfind(folder.path + "clser\xCE\xBC.dll: ", 0), 0u)
        << missing.lastError();
}

// Sets a value of HKEY_LOCAL_MACHINE through the W functions, of the type given.
void setMachineValue(const std::string& key, const std::string& name, DWORD type,
                     const std::wstring& text) {
    EXPECT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, platform::widen(key).c_str(),
                                platform::widen(name).c_str(), type, text.c_str(),
                                DWORD((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// Text values come back in UTF-8 whatever their script; an expandable one with its variables
// expanded (an unknown one stays as written, as Windows leaves it); values of other types are
// not text.
TEST(Win32Platform, RegistryTextIsReadInUtf16AndExpanded) {
    const std::string key = "Software\\kelvoflash-platform-test \xCE\xA9";
    const Undo removeKey{
        [&] { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, platform::widen(key).c_str()); }};
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KF_GRABBERS", L"C:\\Grabbers \u00C4"));
    struct Case {
        DWORD type;
        std::wstring stored;
        platform::RegistryRead read;
        std::string text;
    };
    const Case cases[] = {
        {REG_SZ, L"C:\\\u03A9\u03BC\u03AD\u03B3\u03B1\\\u30AB\u30E1\u30E9",
         platform::RegistryRead::kFound,
         "C:\\\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1\\\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9"},
        {REG_EXPAND_SZ, L"%KF_GRABBERS%\\serial", platform::RegistryRead::kFound,
         "C:\\Grabbers \xC3\x84\\serial"},
        {REG_SZ, L"%KF_GRABBERS%\\serial", platform::RegistryRead::kFound, "%KF_GRABBERS%\\serial"},
        {REG_EXPAND_SZ, L"%KF_NOT_SET_ANYWHERE%\\x", platform::RegistryRead::kFound,
         "%KF_NOT_SET_ANYWHERE%\\x"},
        {REG_EXPAND_SZ, L"", platform::RegistryRead::kFound, ""},
        {REG_MULTI_SZ, L"C:\\a", platform::RegistryRead::kNoValue, ""},
    };
    for (const Case& c : cases) {
        setMachineValue(key, "CLSERIALPATH", c.type, c.stored);
        std::string text = "stale";
        EXPECT_EQ(platform::readMachineText(key, "CLSERIALPATH", text), c.read)
            << platform::narrow(c.stored);
        EXPECT_EQ(text, c.text) << platform::narrow(c.stored);
    }
    ::SetEnvironmentVariableW(L"KF_GRABBERS", nullptr);
}

// The places are the system's folders; no device stands for a COM port; output to a pipe (as
// CTest reads it) has no columns.
TEST(Win32Platform, PlacesAreTheSystemsFolders) {
    const std::string system = platform::systemDirectory();
    EXPECT_TRUE(endsWithLower(system, "\\system32") || endsWithLower(system, "\\syswow64")) << system;
    EXPECT_NE(::GetFileAttributesA(system.c_str()), INVALID_FILE_ATTRIBUTES);
    // The module of an address: this program for its own code, the library for a library's.
    EXPECT_TRUE(endsWithLower(platform::moduleFileName(reinterpret_cast<const void*>(&endsWithLower)),
                              "\\platform_tests.exe"));
    const void* inKernel = reinterpret_cast<const void*>(&::GetTickCount);
    EXPECT_TRUE(endsWithLower(platform::moduleFileName(inKernel), "\\kernel32.dll"))
        << platform::moduleFileName(inKernel);
    char common[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common),
              S_OK);
    EXPECT_EQ(platform::dataFolder(), std::string(common) + "\\qel");
    EXPECT_EQ(platform::kPathSeparator, '\\');
    EXPECT_EQ(platform::useDeviceForComPort(1, "/dev/pts/3"), ENOTSUP);
    EXPECT_EQ(platform::outputColumns(), 0);
}

TEST(Win32Platform, AFilesCreationTimeIsWhenItWasMadeInUtcAndTheClockSleeps) {
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
    EXPECT_EQ((std::vector<int>{made.year, made.month, made.day}),
              (std::vector<int>{before.wYear, before.wMonth, before.wDay}));
    const int minutes = made.hour * 60 + made.minute, then = before.wHour * 60 + before.wMinute;
    EXPECT_LE(std::abs(minutes - then), 1);
    EXPECT_EQ(platform::fileCreationTimeUtc(path, made), ENOENT);

    platform::Clock& clock = platform::realClock();
    const platform::Milliseconds start = clock.now();
    clock.sleepFor(platform::Milliseconds(60));
    const auto slept = clock.now() - start;
    EXPECT_GE(slept.count(), 59);
    EXPECT_LT(slept.count(), 1000);
}

// The COM ports are the SERIALCOMM values sorted by name; a missing one is diagnosed as such.
TEST(Win32Platform, TheComPortsAreTheSerialCommValuesAndAMissingOneIsDiagnosed) {
    const char* serialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    const Undo removeValues{[&] {
        for (const char* name : {"\\Device\\KelvoTest9", "\\Device\\KelvoTest8"})
            ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, serialComm, name);
    }};
    setMachineText(serialComm, "\\Device\\KelvoTest9", "COM79");
    setMachineText(serialComm, "\\Device\\KelvoTest8", "COM78");
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
