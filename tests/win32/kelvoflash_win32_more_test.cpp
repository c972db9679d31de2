// kelvoflash.exe under Wine against a camsim that reports Main uP, Main FPGA, EEPROM and Head
// FPGA at 003 V01.00, refuses the first block write to the Head FPGA, and serves its COM-port
// line as Wine's COM7: the failed row, emergency mode, the failure boxes of a -S start, and the
// connection over a COM port. The cases run in this order on one camsim.

#include <gtest/gtest.h>

#include "programmer/app/control_ids.h"
#include "programmer/files/file_io.h"
#include "tests/win32/dialog_driver.h"
#include "tools/sample_update.h"

namespace win32test {
namespace {

constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
constexpr COLORREF kDoneGreen = RGB(0, 255, 0);
constexpr COLORREF kFailedRed = RGB(255, 0, 0);
constexpr COLORREF kIdleGrey = RGB(160, 160, 160);

bool idle(HWND main) { return enabled(main, app::kIdQuit); }

// An update file of the rows in `devices` at variant 3, version 1.01, in `folder`.
std::string writeUpdate(const std::string& folder, const std::string& name,
                        std::array<bool, 5> devices) {
    tools::SampleSettings sample{1, 1, 3, devices, 64 * 1024, 160 * 1024, 96 * 1024};
    std::vector<uint8_t> bytes;
    EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
    const std::string path = folder + name;
    EXPECT_EQ(files::writeFileSafely(path, bytes), 0);
    return path;
}

// Started with -S over Camera Link: the main dialog once it is idle with the camera read (Load
// File enabled, or Packet for device packets).
HWND connectedMain(const Program& program, int ready = app::kIdLoadFile) {
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    EXPECT_NE(main, nullptr);
    if (main == nullptr || !waitUntil([&] { return idle(main) && enabled(main, ready); }))
        return nullptr;
    return main;
}

bool load(const Program& program, HWND main, const std::string& path) {
    click(main, app::kIdLoadFile);
    return answerFileDialog(program.id(), path) && waitUntil([&] {
               return idle(main) && enabled(main, app::kIdProgram);
           });
}

bool programChecked(HWND main) {
    click(main, app::kIdProgram);
    return waitUntil([&] { return !idle(main); }, 5000) &&
           waitUntil([&] { return idle(main); }, 240000);
}

// The Head FPGA's first block write is refused: its row turns red with its word, the Main
// FPGA's green; the rows that were not programmed stay grey without a word.
TEST(KelvoflashMore, AFailedDeviceShowsARedRowWithItsWord) {
    const std::string folder = scratchFolder();
    const std::string file = writeUpdate(folder, "fpga.qup", {false, true, false, false, true});
    Program program(kelvoflashPath(), "-S -T2 -Nclsersim.dll", folder);
    HWND main = connectedMain(program);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(load(program, main, file)) << text(main, app::kIdStatusLine);
    ASSERT_TRUE(programChecked(main)) << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::kIdStatusLine),
              "Programming failed for Head FPGA! Incomplete, program again: Head FPGA. "
              "Load Update File, select other port or close programmer");
    EXPECT_EQ(colourAt(main, app::progressId(1)), kDoneGreen);
    EXPECT_EQ(colourAt(main, app::progressId(4)), kFailedRed);
    EXPECT_GT(darkPixelsIn(main, app::progressId(4)), 20) << "the word \"failed\"";
    EXPECT_GT(darkPixelsIn(main, app::progressId(1)), 20) << "the word \"done\"";
    for (const int row : {0, 2, 3}) {
        EXPECT_EQ(colourAt(main, app::progressId(row)), kIdleGrey) << row;
        EXPECT_EQ(darkPixelsIn(main, app::progressId(row)), 0) << row;
    }
    EXPECT_EQ(text(main, app::currentFwId(4)), "--- V--.--") << "erased, then not written";
    keepScreenshot(main, "main_failed_row");
    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

// -E: the PLL, which the camera does not report, is programmed with the EEPROM it does report;
// every checked row is programmed.
TEST(KelvoflashMore, EmergencyModeProgramsEveryCheckedRow) {
    const std::string folder = scratchFolder();
    const std::string file = writeUpdate(folder, "small.qup", {false, false, true, true, false});
    Program program(kelvoflashPath(), "-E -S -T2 -Nclsersim.dll", folder);
    HWND main = connectedMain(program);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(text(main, app::currentFwId(3)), "--- V--.--") << "the PLL is not reported";
    ASSERT_TRUE(load(program, main, file)) << text(main, app::kIdStatusLine);
    for (const int row : {2, 3}) {
        ASSERT_TRUE(enabled(main, app::checkBoxId(row))) << row;
        if (!checked(main, app::checkBoxId(row))) {
            click(main, app::checkBoxId(row));
            ASSERT_TRUE(waitUntil([&] { return checked(main, app::checkBoxId(row)); })) << row;
        }
    }
    ASSERT_TRUE(programChecked(main)) << text(main, app::kIdStatusLine);
    for (const int row : {2, 3}) {
        EXPECT_EQ(colourAt(main, app::progressId(row)), kDoneGreen) << row;
        EXPECT_EQ(text(main, app::currentFwId(row)), "003 V01.01") << row;
    }
    keepScreenshot(main, "main_emergency_programmed");
    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

// A -S start that cannot connect shows its box and ends when it is answered. A start refused
// before it searches shows no dialog; one that searched has shown the main dialog meanwhile, so
// that the window answered while it waited.
TEST(KelvoflashMore, ADirectStartThatCannotConnectShowsItsBoxAndEnds) {
    const struct {
        const char* arguments;
        const char* box;
        bool searched;
    } cases[] = {
        {"-S -T1", "Wrong interface type\n,Change parameters and try again\n", false},
        {"-S -T2 -Nclserabcdefghijklmnop.dll",
         "Framegrabber library name clserabcdefghijklmnop.dll is too long: at most 19 "
         "characters.\nConnection failed!\n",
         false},
        {"-S -T2 -Nclsernone.dll", "Cannot connect camera\nChange parameters and try again\n",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Program program(kelvoflashPath(), c.arguments, scratchFolder());
        HWND box = waitForBox(program.id(), "");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(boxText(box), c.box);
        EXPECT_EQ(textOf(box), "kelvoflash");
        if (!c.searched) {
            EXPECT_EQ(waitForDialog(program.id(), app::kIdStatusLine, "", 200), nullptr);
        }
        EXPECT_EQ(waitForDialog(program.id(), app::kIdConnectionStatus, "", 200), nullptr);
        click(box, IDOK);
        EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
    }
}

// The connection dialog over COM7, which Wine maps to camsim's pty.
TEST(KelvoflashMore, TheConnectionDialogConnectsOverACOMPort) {
    Program program(kelvoflashPath(), "", scratchFolder());
    HWND connection = waitForDialog(program.id(), app::kIdConnectionStatus);
    ASSERT_NE(connection, nullptr);
    click(connection, app::kIdRadioComPort);
    ASSERT_TRUE(waitUntil([&] { return checked(connection, app::kIdRadioComPort); }));
    selectListEntry(connection, app::kIdPortList, 6);
    click(connection, app::kIdConnect);
    ASSERT_TRUE(waitUntil([&] { return enabled(connection, app::kIdOk); }))
        << text(connection, app::kIdConnectionStatus);
    EXPECT_EQ(text(connection, app::kIdConnectionStatus), "Camera SNr. 1234 found");
    EXPECT_EQ(listSelection(connection, app::kIdPortList), 6);
    keepScreenshot(connection, "connection_dialog_com7");
    click(connection, app::kIdOk);
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] { return idle(main) && enabled(main, app::kIdLoadFile); }))
        << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::kIdStatusLine), kLoadOrSelect);
    EXPECT_EQ(text(main, app::currentFwId(0)), "003 V01.00");
    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

}  // namespace
}  // namespace win32test
