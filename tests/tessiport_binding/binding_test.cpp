#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tessiport/library_log.h"
#include "tessiport/serial_binding.h"
#include "test_log.h"

namespace tessiport {
namespace {

using testing::Contains;

std::string copyLibrary(const std::string& variant, const std::string& dir,
                        const std::string& name = "") {
    std::filesystem::create_directories(dir);
    const std::string target = dir + "/" + (name.empty() ? "libclsertest_" + variant + ".so" : name);
    std::filesystem::copy_file(test::serialLibrary(variant), target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

// The file the loader really took for a bound function.
std::string loadedFile(void* function) {
    Dl_info info{};
    return ::dladdr(function, &info) != 0 ? info.dli_fname : "";
}

class Binding : public testing::Test {
protected:
    const tools::TempFolder& folder() { return log.folder(); }
    uint32_t bindNamed(const char* name, uint32_t initmode = 0) {
        entry.initmode = initmode;
        return bindSerialFunctions(entry, name, lock, places);
    }

    test::LogCapture log{3};
    SerialPlaces places = test::scratchPlaces(log.folder());
    DriverEntry entry;
    std::recursive_mutex lock;
};

TEST_F(Binding, PlacesInOrderAndNameForms) {
    struct PlaceCase {
        const char* name;
        std::vector<std::string> copies;  // places holding libclsertest_full.so
        std::string expected;             // libraryPath relative to the scratch folder
    };
    const PlaceCase cases[] = {
        {"clsertest_full", {"registry", "system", "own"}, "registry/libclsertest_full.so"},
        {"clsertest_full.dll", {"system", "own"}, "system/libclsertest_full.so"},
        {"clsertest_full.DLL  \t", {"own"}, "own/libclsertest_full.so"},
        {"libclsertest_full.so ", {"cwd"}, "./libclsertest_full.so"},
    };
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(folder().path("cwd"));
    for (const PlaceCase& c : cases) {
        for (const char* dir : {"registry", "system", "own", "cwd"})
            std::filesystem::remove(folder().path(dir) + "/libclsertest_full.so");
        for (const std::string& dir : c.copies) copyLibrary("full", folder().path(dir));
        ASSERT_EQ(bindNamed(c.name), TP_OK) << c.name;
        const std::string expected =
            c.expected.rfind("./", 0) == 0 ? c.expected : folder().path(c.expected);
        EXPECT_EQ(std::string(entry.libraryPath), expected) << c.name;
        EXPECT_EQ(std::filesystem::canonical(loadedFile(reinterpret_cast<void*>(entry.pclSerialInit))),
                  std::filesystem::canonical(expected))
            << c.name;
        releaseSerialFunctions(entry);
    }
    std::filesystem::current_path(previous);
    EXPECT_THAT(log.lines(), Contains("Scan registry CLSERIALPATH Directory " + places.registryDir));
    EXPECT_THAT(log.lines(), Contains("no files found in " + places.registryDir + "libclsertest_full.so"));
}

TEST_F(Binding, EnvironmentPlacesTheCopyInClserialpathWins) {
    const std::string inRegistry = copyLibrary("full", folder().path("registry"));
    copyLibrary("full", folder().path("system"));
    ::setenv("CLSERIALPATH", folder().path("registry").c_str(), 1);  // no trailing '/'
    ::setenv("TESSIPORT_SYSTEM_DIR", folder().path("system").c_str(), 1);
    EXPECT_EQ(Get_Serial_Functions(entry, "clsertest_full", lock), TP_OK);
    EXPECT_EQ(std::string(entry.libraryPath), inRegistry);
    releaseSerialFunctions(entry);

    ::setenv("CLSERIALPATH", std::string(260, 'd').c_str(), 1);  // too long: treated as absent
    EXPECT_EQ(Get_Serial_Functions(entry, "clsertest_full", lock), TP_OK);
    EXPECT_EQ(std::string(entry.libraryPath), folder().path("system") + "/libclsertest_full.so");
    EXPECT_THAT(log.lines(), Contains("no CLSERIALPATH value found in registry"));
    ::unsetenv("CLSERIALPATH");
    ::unsetenv("TESSIPORT_SYSTEM_DIR");
}

TEST_F(Binding, NameNotFound) {
    copyLibrary("full", folder().path("system"));
    // The file system tells names apart by case: only the ".dll" extension is taken in any case.
    EXPECT_EQ(bindNamed("CLSERTEST_FULL"), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_EQ(log.lines().back(), "No clserdll CLSERTEST_FULL found ");
    EXPECT_EQ(bindNamed("   "), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_FALSE(entry.library.isOpen());
    places.registryKey = false;
    EXPECT_EQ(bindNamed("clsertest_none"), TP_ERR_NO_SERIAL_LIBRARY);
    const std::string system = folder().path("system");
    const std::string own = folder().path("own") + "/";
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_THAT(lines[lines.size() - 8], testing::MatchesRegex("Get_Serial_Functions\\([0-9a-f]+,clsertest_none\\)"));
    EXPECT_EQ(std::vector<std::string>(lines.end() - 7, lines.end()),
              (std::vector<std::string>{
                  "no cameralink key found in registry", "Scan System_Directory " + system,
                  "No clserdll found in " + system + "/libclsertest_none.so",
                  "Scan local Directory " + places.ownFile,
                  "No clserdll found in " + own + "libclsertest_none.so",
                  "No clserdll found in libclsertest_none.so", "No clserdll clsertest_none found "}));
}

TEST_F(Binding, ComPortNames) {
    struct ComCase {
        const char* name;
        uint32_t initmode;
        uint32_t result;
        int32_t number;
        const char* lastLine;
    };
    const ComCase cases[] = {
        {"comport2", INITMODE_ALLOW_COMPORT, TP_OK, 2, "Get_Serial_Functions: use comport2"},
        {"COMPORT12  ", INITMODE_ALLOW_COMPORT, TP_OK, 12, "Get_Serial_Functions: use COMPORT12"},
        {"comport0", INITMODE_ALLOW_COMPORT, TP_ERR_INVALID_ARGUMENT, 0,
         "ERROR Get_Serial_Functions: no COM port number in comport0"},
        {"comport", INITMODE_ALLOW_COMPORT, TP_ERR_INVALID_ARGUMENT, 0,
         "ERROR Get_Serial_Functions: no COM port number in comport"},
        {"comport-1", INITMODE_ALLOW_COMPORT, TP_ERR_INVALID_ARGUMENT, 0,
         "ERROR Get_Serial_Functions: no COM port number in comport-1"},
        {"comport3x", INITMODE_ALLOW_COMPORT, TP_ERR_INVALID_ARGUMENT, 0,
         "ERROR Get_Serial_Functions: no COM port number in comport3x"},
        {"comport99999999999", INITMODE_ALLOW_COMPORT, TP_ERR_INVALID_ARGUMENT, 0,
         "ERROR Get_Serial_Functions: no COM port number in comport99999999999"},
        {"comport2", 0, TP_ERR_NO_SERIAL_LIBRARY, 0, "No clserdll comport2 found "},
    };
    for (const ComCase& c : cases) {
        entry.clear();
        EXPECT_EQ(bindNamed(c.name, c.initmode), c.result) << c.name;
        EXPECT_EQ(entry.comPortNumber, c.number) << c.name;
        EXPECT_FALSE(entry.library.isOpen()) << c.name;
        EXPECT_EQ(log.lines().back(), c.lastLine) << c.name;
    }
    EXPECT_STREQ(entry.libraryPath, "");  // without COM ports allowed the name is not taken
}

TEST_F(Binding, RequiredAndOptionalFunctions) {
    struct FunctionCase {
        const char* variant;
        uint32_t initmode;
        uint32_t result;
        std::vector<std::string> errors;  // the error lines, in order
        bool optionalBound;
    };
    const FunctionCase cases[] = {
        {"full", 0, TP_OK, {}, true},
        {"minimal", 0, TP_OK, {}, false},
        {"noclose", 0, TP_ERR_MISSING_FUNCTION,
         {"ERROR Get_Serial_Functions: Cannot load function clSerialClose"}, false},
        {"imaq", INITMODE_IMAQ, TP_OK, {}, false},
        {"imaq", 0, TP_ERR_MISSING_FUNCTION,
         {"ERROR Get_Serial_Functions: Cannot load function clSerialInit",
          "ERROR Get_Serial_Functions: Cannot load function clSerialRead",
          "ERROR Get_Serial_Functions: Cannot load function clSerialWrite",
          "ERROR Get_Serial_Functions: Cannot load function clSerialClose"},
         false},
        {"full", INITMODE_IMAQ, TP_ERR_MISSING_FUNCTION,
         {"ERROR Get_Serial_Functions: Cannot load function imgSessionSerialRead",
          "ERROR Get_Serial_Functions: Cannot load function imgSessionSerialWrite",
          "ERROR Get_Serial_Functions: Cannot load function imgSessionSerialFlush"},
         false},
    };
    for (const FunctionCase& c : cases) {
        const std::string path = copyLibrary(c.variant, folder().path("system"));
        test::LogCapture caseLog(3);
        entry.clear();
        EXPECT_EQ(bindNamed(("clsertest_" + std::string(c.variant)).c_str(), c.initmode), c.result)
            << c.variant;
        std::vector<std::string> errors;
        for (const std::string& line : caseLog.lines())
            if (line.rfind("ERROR", 0) == 0) errors.push_back(line);
        EXPECT_EQ(errors, c.errors) << c.variant;
        const bool bound = c.result == TP_OK;
        EXPECT_EQ(entry.library.isOpen(), bound) << c.variant;  // unloaded on a missing function
        EXPECT_EQ(entry.pclSerialRead != nullptr, bound) << c.variant;
        EXPECT_EQ(entry.pclSerialInit != nullptr, bound && !(c.initmode & INITMODE_IMAQ));
        EXPECT_EQ(entry.pclSerialFlush != nullptr,
                  bound && (c.optionalBound || (c.initmode & INITMODE_IMAQ)))
            << c.variant;
        EXPECT_EQ(entry.pclSetBaudRate != nullptr, c.optionalBound) << c.variant;
        if (c.result == TP_OK && !(c.initmode & INITMODE_IMAQ)) {
            EXPECT_THAT(caseLog.lines(), Contains("Get_Serial_Functions: Load normal Functions done"));
        }
        releaseSerialFunctions(entry);
    }
    test::LogCapture brokenLog(3);
    test::writeText(folder().path("system") + "/libclserbroken.so", "not a library");
    EXPECT_EQ(bindNamed("clserbroken"), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_THAT(brokenLog.lines(), Contains("ERROR Get_Serial_Functions: Cannot load Library " +
                                      folder().path("system") + "/libclserbroken.so"));
}

}  // namespace
}  // namespace tessiport
