// Binding a serial library: by name from the places in order, COM ports, the functions each
// variant has, and the choice offered when the host names none.

#include <dlfcn.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tessiport/library_log.h"
#include "tessiport/serial_binding.h"
#include "tessiport/serial_selection.h"
#include "test_log.h"

namespace tessiport {
namespace {

using testing::Contains;
using testing::ElementsAre;
namespace fs = std::filesystem;

// The file the loader really took for a bound function.
std::string loadedFile(void* function) {
    Dl_info info{};
    return ::dladdr(function, &info) != 0 ? info.dli_fname : "";
}

class Binding : public testing::Test {
protected:
    // The places a serial library is looked for, each a folder of its own: "registry", "system",
    // "own" (and "cwd", made for a test to change into).
    Binding() {
        places.registryKey = true;
        places.registryDir = folder().path("registry") + "/";
        places.systemDir = folder().path("system");
        places.ownFile = folder().path("own") + "/libtessiport.so";
        for (const char* dir : {"registry", "system", "own", "cwd"})
            fs::create_directories(folder().path(dir));
    }
    const tools::TempFolder& folder() { return log.folder(); }
    // A copy of the simulated grabber's serial library with the functions of `variant` ("full",
    // "minimal", "noclose" or "imaq") as `dir`/`name`.
    std::string place(const std::string& dir, const std::string& name = "libclsertest_full.so",
                      const std::string& variant = "full") {
        const std::string suffix = variant == "full" ? "" : "_" + variant;
        const std::string target = folder().path(dir) + "/" + name;
        fs::copy_file(KF_BINARY_DIR "/lib/libclsersim" + suffix + ".so", target,
                      fs::copy_options::overwrite_existing);
        return target;
    }
    uint32_t bind(const char* name, uint32_t initmode = 0) {
        entry.clear();
        entry.initmode = initmode;
        return bindSerialFunctions(entry, name, lock, places);
    }

    test::LogCapture log{3};
    SerialPlaces places;
    DriverEntry entry;
    std::recursive_mutex lock;
};

TEST_F(Binding, PlacesInOrderAndNameForms) {
    const struct {
        const char* name;
        std::vector<std::string> copies;  // places holding libclsertest_full.so
        std::string expected;             // libraryPath relative to the scratch folder
    } cases[] = {
        {"clsertest_full", {"registry", "system", "own"}, "registry/libclsertest_full.so"},
        {"clsertest_full.dll", {"system", "own"}, "system/libclsertest_full.so"},
        {"clsertest_full.DLL  \t", {"own"}, "own/libclsertest_full.so"},
        {"libclsertest_full.so ", {"cwd"}, "./libclsertest_full.so"},
    };
    const std::string previous = fs::current_path();
    fs::current_path(folder().path("cwd"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* dir : {"registry", "system", "own", "cwd"})
            fs::remove(folder().path(dir) + "/libclsertest_full.so");
        for (const std::string& dir : c.copies)
            place(dir);
        ASSERT_EQ(bind(c.name), TP_OK);
        const std::string expected =
            c.expected.rfind("./", 0) == 0 ? c.expected : folder().path(c.expected);
        EXPECT_EQ(std::string(entry.libraryPath), expected);
        EXPECT_EQ(fs::canonical(loadedFile(reinterpret_cast<void*>(entry.pclSerialInit))),
                  fs::canonical(expected));
        releaseSerialFunctions(entry);
    }
    fs::current_path(previous);
    EXPECT_THAT(log.lines(), Contains("Scan registry CLSERIALPATH Directory " + places.registryDir));
    EXPECT_THAT(log.lines(),
                Contains("no files found in " + places.registryDir + "libclsertest_full.so"));
}

TEST_F(Binding, EnvironmentPlacesTheCopyInClserialpathWins) {
    const std::string inRegistry = place("registry");
    place("system");
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
    place("system");
    // The file system tells names apart by case: only the ".dll" extension is taken in any case.
    EXPECT_EQ(bind("CLSERTEST_FULL"), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_EQ(log.lines().back(), "No clserdll CLSERTEST_FULL found ");
    EXPECT_EQ(bind("   "), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_FALSE(entry.library.isOpen());
    places.registryKey = false;
    EXPECT_EQ(bind("clsertest_none"), TP_ERR_NO_SERIAL_LIBRARY);
    const std::string system = folder().path("system");
    const std::string own = folder().path("own") + "/";
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_THAT(lines[lines.size() - 8],
                testing::MatchesRegex("Get_Serial_Functions\\([0-9a-f]+,clsertest_none\\)"));
    EXPECT_EQ(std::vector<std::string>(lines.end() - 7, lines.end()),
              (std::vector<std::string>{
                  "no cameralink key found in registry", "Scan System_Directory " + system,
                  "No clserdll found in " + system + "/libclsertest_none.so",
                  "Scan local Directory " + places.ownFile,
                  "No clserdll found in " + own + "libclsertest_none.so",
                  "No clserdll found in libclsertest_none.so", "No clserdll clsertest_none found "}));
}

TEST_F(Binding, ComPortNames) {
    const struct {
        const char* name;
        uint32_t result;
        int32_t number;
        const char* lastLine;  // "" when the name holds no COM port number
    } cases[] = {
        {"comport2", TP_OK, 2, "Get_Serial_Functions: use comport2"},
        {"COMPORT12  ", TP_OK, 12, "Get_Serial_Functions: use COMPORT12"},
        {"comport0", TP_ERR_INVALID_ARGUMENT, 0, ""},
        {"comport", TP_ERR_INVALID_ARGUMENT, 0, ""},
        {"comport-1", TP_ERR_INVALID_ARGUMENT, 0, ""},
        {"comport3x", TP_ERR_INVALID_ARGUMENT, 0, ""},
        {"comport99999999999", TP_ERR_INVALID_ARGUMENT, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bind(c.name, INITMODE_ALLOW_COMPORT), c.result);
        EXPECT_EQ(entry.comPortNumber, c.number);
        EXPECT_FALSE(entry.library.isOpen());
        EXPECT_EQ(log.lines().back(), *c.lastLine ? c.lastLine
                                                  : "ERROR Get_Serial_Functions: no COM port "
                                                    "number in " + std::string(c.name));
    }
    // Without COM ports allowed the name is not taken.
    EXPECT_EQ(bind("comport2"), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_EQ(entry.comPortNumber, 0);
    EXPECT_FALSE(entry.library.isOpen());
    EXPECT_EQ(log.lines().back(), "No clserdll comport2 found ");
    EXPECT_STREQ(entry.libraryPath, "");
}

TEST_F(Binding, RequiredAndOptionalFunctions) {
    const std::string cannot = "ERROR Get_Serial_Functions: Cannot load function ";
    const struct {
        const char* variant;
        uint32_t initmode;
        uint32_t result;
        std::vector<std::string> missing;  // the functions the error lines name, in order
        bool optionalBound;
    } cases[] = {
        {"full", 0, TP_OK, {}, true},
        {"minimal", 0, TP_OK, {}, false},
        {"noclose", 0, TP_ERR_MISSING_FUNCTION, {"clSerialClose"}, false},
        {"imaq", INITMODE_IMAQ, TP_OK, {}, false},
        {"imaq", 0, TP_ERR_MISSING_FUNCTION,
         {"clSerialInit", "clSerialRead", "clSerialWrite", "clSerialClose"}, false},
        {"full", INITMODE_IMAQ, TP_ERR_MISSING_FUNCTION,
         {"imgSessionSerialRead", "imgSessionSerialWrite", "imgSessionSerialFlush"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variant) + (c.initmode ? " IMAQ" : ""));
        const std::string name = "clsertest_" + std::string(c.variant);
        place("system", "lib" + name + ".so", c.variant);
        test::LogCapture caseLog(3);
        EXPECT_EQ(bind(name.c_str(), c.initmode), c.result);
        std::vector<std::string> errors, expected;
        for (const std::string& line : caseLog.lines())
            if (line.rfind("ERROR", 0) == 0)
                errors.push_back(line);
        for (const std::string& function : c.missing)
            expected.push_back(cannot + function);
        EXPECT_EQ(errors, expected);
        const bool bound = c.result == TP_OK, imaq = c.initmode & INITMODE_IMAQ;
        EXPECT_EQ(entry.library.isOpen(), bound);  // unloaded on a missing function
        EXPECT_EQ(entry.pclSerialRead != nullptr, bound);
        EXPECT_EQ(entry.pclSerialInit != nullptr, bound && !imaq);
        EXPECT_EQ(entry.pclSerialFlush != nullptr, bound && (c.optionalBound || imaq));
        EXPECT_EQ(entry.pclSetBaudRate != nullptr, c.optionalBound);
        if (bound && !imaq) {
            EXPECT_THAT(caseLog.lines(),
                        Contains("Get_Serial_Functions: Load normal Functions done"));
        }
        releaseSerialFunctions(entry);
    }
    test::LogCapture brokenLog(3);
    test::writeText(folder().path("system") + "/libclserbroken.so", "not a library");
    EXPECT_EQ(bind("clserbroken"), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_THAT(brokenLog.lines(), Contains("ERROR Get_Serial_Functions: Cannot load Library " +
                                            folder().path("system") + "/libclserbroken.so"));
}

// A host's chooser: records what it was offered and answers as told.
struct ScriptedChooser {
    int32_t answer = kDialogChosen;
    int64_t pick = -1;  // -1: the preselected item
    std::vector<std::string> offered;
    uint32_t preselected = 0;
    int calls = 0;

    static int32_t choose(void* context, const char* const* items, uint32_t count,
                          uint32_t preselected, uint32_t* chosen) {
        auto& self = *static_cast<ScriptedChooser*>(context);
        ++self.calls;
        self.offered.assign(items, items + count);
        self.preselected = preselected;
        *chosen = self.pick < 0 ? preselected : uint32_t(self.pick);
        return self.answer;
    }
};

// No name: the host's chooser is offered what the places hold. No COM port exists unless a test
// says so.
class Selection : public Binding {
protected:
    Selection() {
        ui.chooseSerialLibrary = &ScriptedChooser::choose;
        ui.context = &chooser;
        Register_User_Interface(&ui);
        for (int port = 0; port <= 15; ++port)
            ::setenv(("QEL_COM" + std::to_string(port)).c_str(), "/nonexistent/tty", 1);
    }
    ~Selection() override {
        for (int port = 0; port <= 15; ++port)
            ::unsetenv(("QEL_COM" + std::to_string(port)).c_str());
    }
    ScriptedChooser chooser;
    TP_UserInterface ui{};
};

TEST_F(Selection, ListFromThePlacesAndChoice) {
    place("registry", "libclsertest.so");
    place("system", "libclsertest.so");  // the registry's copy is offered once
    place("own", "libCLSERTEST.so");     // so is one that differs in case only
    place("system", "libCLSERX.SO");     // found by the pattern, not offered
    place("system", "libclsermtx.so");
    place("own", "libclserown.so");
    EXPECT_EQ(bind(nullptr), TP_OK);
    EXPECT_THAT(chooser.offered, ElementsAre("clsertest*", "clsermtx", "clserown"));
    EXPECT_EQ(chooser.preselected, 1u);
    EXPECT_EQ(std::string(entry.libraryPath), folder().path("system") + "/libclsermtx.so");
    EXPECT_TRUE(entry.library.isOpen());
    EXPECT_THAT(log.lines(), Contains("serDlgProc: INITDIALOG found libCLSERX.SO"));
    chooser.pick = 0;  // the "*" item loads from the CLSERIALPATH directory
    EXPECT_EQ(bind(nullptr), TP_OK);
    EXPECT_EQ(std::string(entry.libraryPath), places.registryDir + "libclsertest.so");
}

TEST_F(Selection, CancelNoChoiceAndNothingToChoose) {
    const std::string noChoice = "ERROR Get_Serial_Functions: Dialog did return with 0";
    const struct {
        int32_t answer;
        int64_t pick;
        uint32_t result;
        std::string line;
    } cases[] = {
        {kDialogCancelled, -1, TP_ERR_INVALID_ARGUMENT,
         "ERROR Get_Serial_Functions: Dialog cancelled from user"},
        {kDialogNoChoice, -1, TP_ERR_NO_SERIAL_LIBRARY, noChoice},
        {kDialogChosen, 5, TP_ERR_NO_SERIAL_LIBRARY, noChoice},
        {7, -1, TP_ERR_NO_SERIAL_LIBRARY, noChoice},
    };
    place("system", "libclsertest.so");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        chooser.answer = c.answer;
        chooser.pick = c.pick;
        EXPECT_EQ(bind(nullptr), c.result);
        EXPECT_EQ(log.lines().back(), c.line);
        EXPECT_FALSE(entry.library.isOpen());
    }
    // No chooser and no terminal: the selection ends with 0.
    Register_User_Interface(nullptr);
    const int savedStdin = ::dup(STDIN_FILENO);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, STDIN_FILENO);
    EXPECT_EQ(bind(nullptr), TP_ERR_NO_SERIAL_LIBRARY);
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);
    ::close(devNull);

    Register_User_Interface(&ui);
    fs::remove(folder().path("system") + "/libclsertest.so");
    chooser.calls = 0;
    EXPECT_EQ(bind(nullptr), TP_ERR_NO_SERIAL_LIBRARY);
    EXPECT_EQ(log.lines().back(),
              "ERROR Get_Serial_Functions: no clser*.dll found in path from registry or system or "
              "in current directory");
    EXPECT_EQ(chooser.calls, 0);
}

TEST_F(Selection, OnlyComPortsThatOpen) {
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::setenv("QEL_COM3", name, 1);
    EXPECT_EQ(bind(nullptr, INITMODE_ALLOW_COMPORT), TP_OK);
    EXPECT_THAT(chooser.offered, ElementsAre("ComPort3"));
    EXPECT_EQ(entry.comPortNumber, 3);
    EXPECT_STREQ(entry.libraryPath, "comport3");
    EXPECT_FALSE(entry.library.isOpen());
    ::close(slave);
    ::close(master);
}

TEST(TerminalPrompt, Answers) {
    const struct {
        std::string input;
        int32_t result;
        uint32_t chosen;
    } cases[] = {
        {"\n", kDialogChosen, 1},        {" 3 \n", kDialogChosen, 2}, {"c\n", kDialogCancelled, 0},
        {"9\nx\n1\n", kDialogChosen, 0}, {"", kDialogNoChoice, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::FILE* in = std::tmpfile();
        std::fputs(c.input.c_str(), in);
        std::rewind(in);
        char* shown = nullptr;
        size_t shownSize = 0;
        std::FILE* out = ::open_memstream(&shown, &shownSize);
        uint32_t chosen = 0;
        EXPECT_EQ(askOnTerminal(in, out, {"clsertest*", "clsermtx", "ComPort1"}, 1, chosen),
                  c.result);
        EXPECT_EQ(chosen, c.chosen);
        std::fclose(in);
        std::fclose(out);
        EXPECT_EQ(std::string(shown).rfind("Select clser*.dll for the requested CameraLink "
                                           "Framegrabber\n  1  clsertest*\n  2  clsermtx\n",
                                           0),
                  0u);
        std::free(shown);
    }
    uint32_t chosen = 0;
    EXPECT_EQ(askOnTerminal(stdin, stderr, {}, 0, chosen), kDialogNoChoice);
}

}  // namespace
}  // namespace tessiport
