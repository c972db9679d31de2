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

class Selection : public testing::Test {
protected:
    Selection() {
        ui.chooseSerialLibrary = &ScriptedChooser::choose;
        ui.context = &chooser;
        Register_User_Interface(&ui);
        // No COM port exists unless a test says so.
        for (int port = 0; port <= 15; ++port)
            ::setenv(("QEL_COM" + std::to_string(port)).c_str(), "/nonexistent/tty", 1);
    }
    ~Selection() override {
        for (int port = 0; port <= 15; ++port) ::unsetenv(("QEL_COM" + std::to_string(port)).c_str());
    }
    const tools::TempFolder& folder() { return log.folder(); }
    void place(const std::string& dir, const std::string& name) {
        std::filesystem::copy_file(test::serialLibrary("full"),
                                   folder().path(dir) + "/" + name);
    }
    uint32_t choose(uint32_t initmode = 0) {
        entry.initmode = initmode;
        return bindSerialFunctions(entry, nullptr, lock, places);
    }

    test::LogCapture log{3};
    SerialPlaces places = test::scratchPlaces(log.folder());
    ScriptedChooser chooser;
    TP_UserInterface ui{};
    DriverEntry entry;
    std::recursive_mutex lock;
};

TEST_F(Selection, ListFromThePlacesAndChoice) {
    place("registry", "libclsertest.so");
    place("system", "libclsertest.so");     // the registry's copy is offered once
    place("own", "libCLSERTEST.so");        // so is one that differs in case only
    place("system", "libCLSERX.SO");        // found by the pattern, not offered
    place("system", "libclsermtx.so");
    place("own", "libclserown.so");
    EXPECT_EQ(choose(), TP_OK);
    EXPECT_THAT(chooser.offered, ElementsAre("clsertest*", "clsermtx", "clserown"));
    EXPECT_EQ(chooser.preselected, 1u);
    EXPECT_EQ(std::string(entry.libraryPath), folder().path("system") + "/libclsermtx.so");
    EXPECT_TRUE(entry.library.isOpen());
    EXPECT_THAT(log.lines(), Contains("serDlgProc: INITDIALOG found libCLSERX.SO"));

    chooser.pick = 0;  // the "*" item loads from the CLSERIALPATH directory
    EXPECT_EQ(choose(), TP_OK);
    EXPECT_EQ(std::string(entry.libraryPath), places.registryDir + "libclsertest.so");
}

TEST_F(Selection, CancelNoChoiceAndNothingToChoose) {
    struct EndCase {
        int32_t answer;
        int64_t pick;
        uint32_t result;
        const char* line;
    };
    place("system", "libclsertest.so");
    const EndCase cases[] = {
        {kDialogCancelled, -1, TP_ERR_INVALID_ARGUMENT,
         "ERROR Get_Serial_Functions: Dialog cancelled from user"},
        {kDialogNoChoice, -1, TP_ERR_NO_SERIAL_LIBRARY,
         "ERROR Get_Serial_Functions: Dialog did return with 0"},
        {kDialogChosen, 5, TP_ERR_NO_SERIAL_LIBRARY,
         "ERROR Get_Serial_Functions: Dialog did return with 0"},
        {7, -1, TP_ERR_NO_SERIAL_LIBRARY, "ERROR Get_Serial_Functions: Dialog did return with 0"},
    };
    for (const EndCase& c : cases) {
        chooser.answer = c.answer;
        chooser.pick = c.pick;
        EXPECT_EQ(choose(), c.result) << c.answer;
        EXPECT_EQ(log.lines().back(), c.line);
        EXPECT_FALSE(entry.library.isOpen());
    }
    // No chooser and no terminal: the selection ends with 0.
    Register_User_Interface(nullptr);
    const int savedStdin = ::dup(STDIN_FILENO);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, STDIN_FILENO);
    EXPECT_EQ(choose(), TP_ERR_NO_SERIAL_LIBRARY);
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);
    ::close(devNull);

    Register_User_Interface(&ui);
    std::filesystem::remove(folder().path("system") + "/libclsertest.so");
    chooser.calls = 0;
    EXPECT_EQ(choose(), TP_ERR_NO_SERIAL_LIBRARY);
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
    EXPECT_EQ(choose(INITMODE_ALLOW_COMPORT), TP_OK);
    EXPECT_THAT(chooser.offered, ElementsAre("ComPort3"));
    EXPECT_EQ(entry.comPortNumber, 3);
    EXPECT_STREQ(entry.libraryPath, "comport3");
    EXPECT_FALSE(entry.library.isOpen());
    ::close(slave);
    ::close(master);
}

TEST(TerminalPrompt, Answers) {
    struct PromptCase {
        std::string input;
        int32_t result;
        uint32_t chosen;
    };
    const PromptCase cases[] = {
        {"\n", kDialogChosen, 1},  {" 3 \n", kDialogChosen, 2}, {"c\n", kDialogCancelled, 0},
        {"9\nx\n1\n", kDialogChosen, 0}, {"", kDialogNoChoice, 0},
    };
    for (const PromptCase& c : cases) {
        std::FILE* in = std::tmpfile();
        std::fputs(c.input.c_str(), in);
        std::rewind(in);
        char* shown = nullptr;
        size_t shownSize = 0;
        std::FILE* out = ::open_memstream(&shown, &shownSize);
        uint32_t chosen = 0;
        EXPECT_EQ(askOnTerminal(in, out, {"clsertest*", "clsermtx", "ComPort1"}, 1, chosen), c.result)
            << c.input;
        if (c.result == kDialogChosen) {
            EXPECT_EQ(chosen, c.chosen) << c.input;
        }
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
