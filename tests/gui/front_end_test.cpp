// The main dialog's widgets: the row bars' colours, the file filter, and the window while a flow
// runs on it: rows repaint before the flow goes on, and neither a click nor closing the window
// starts a second flow inside the running one. The real front end: the usage box before any
// connection (printed, and logged with -L, without a display), and against camsim: -S connects over
// the COM port at start, Select Port reconnects over Camera Link (the real libtessiport.so binding
// the grabber library clsersim given with -N), and an update file loaded through the file dialog
// programs two devices, one of which camsim makes fail. The Packet button: device packet mode (-P1)
// backs the PLL up; a right click switches to file packet mode, which builds an update file from a
// device file chosen in the file dialogs, and asks before it is built again over that file. Names
// hold two- and three-byte characters. Screenshots are kept as test artifacts. The flows themselves
// are tested in tests/app and tests/cli; here, what the widgets show of them.

#include <QCheckBox>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "camsim_fixture.h"
#include "gui_driver.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/files/file_probe.h"
#include "programmer/gui/connection_dialog.h"
#include "programmer/gui/file_filter.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"

namespace {

// kelvoflash's front end set up in the test's own process, with camsim on COM1 and the shared
// fast clock.
class CamsimGui : public testsupport::CamsimFixture {
protected:
    // The main dialog is up and no flow runs on it.
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               host.connectionDialog() == nullptr && QApplication::activeModalWidget() == main;
    }

    // A step once the main dialog is idle.
    void whenIdle(std::string name, std::function<void()> action) {
        driver.step(
            std::move(name), [this] { return mainIdle(); }, std::move(action));
    }
    // Clicks Packet with `row` checked and answers the save dialog with `out`.
    void packetSteps(int row, const std::string& out) {
        driver.step(
            "main dialog", [this, row] { return mainIdle() && main->checkBox(row)->isEnabled(); },
            [this, row] {
                main->checkBox(row)->click();
                main->button(app::kIdPacket)->click();
            });
        driver.step("save dialog", guitest::fileDialogOpen,
                    [out] { guitest::answerFileDialog(out); });
    }

    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    app::CMorvatApp morvat{host, factory};
    guitest::Driver driver;
    gui::MainDialog* main = nullptr;
};

TEST_F(CamsimGui, HelpShowsTheUsageBoxOnly) {
    std::vector<QString> texts;
    driver.box("usage box", texts, QMessageBox::Ok, [](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "qel.programmer Information");
        guitest::saveScreenshot(box, "usage_box.png");
    });
    driver.start();
    EXPECT_FALSE(morvat.InitInstance("-S -T0 -H"));
    EXPECT_TRUE(driver.finished()) << driver.pending();
    EXPECT_EQ(texts, std::vector<QString>{QString::fromStdString(app::UsageText())});
    EXPECT_EQ(morvat.mainDialogResult, -1) << "the main dialog must not run";
}

// Without a display the usage text is printed instead of shown; -L logs that start as with a box:
// the start line, and the end line at exit.
TEST_F(CamsimGui, HelpWithoutADisplayPrintsTheUsageAndLogsTheStart) {
    ASSERT_EQ(std::system(("cd " + work.path() +
                           " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                           KF_BINARY_DIR + "/bin/kelvoflash -H -L >out 2>&1")
                              .c_str()),
              0);
    std::vector<uint8_t> out, log;
    ASSERT_EQ(files::readWholeFile(work.path("out"), out), 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), app::UsageText() + "\n");
    ASSERT_EQ(files::readWholeFile(work.path(app::kLogFileName), log), 0) << "no log written";
    const std::string text(log.begin(), log.end());
    EXPECT_EQ(text.rfind("Logging to prog_log.txt started ", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n\r\nLogging ended "), std::string::npos) << text;
}

// What the main dialog shows: each row's Current FW, the colour of its bar's corner (the middle
// carries the row's word) and the word; the enabled buttons; the status line.
std::vector<std::string> shown(gui::MainDialog& window) {
    std::vector<std::string> seen;
    for (int row = 0; row < app::kRowCount; ++row)
        seen.push_back(
            window.currentFw(row)->text().toStdString() + " " +
            window.progressBar(row)->grab().toImage().pixelColor(1, 1).name().toStdString() + " " +
            gui::RowProgressBar::stateWord(window.progressBar(row)->rowState()).toStdString());
    seen.emplace_back("buttons:");
    for (const int id : app::kMainButtons)
        if (window.button(id)->isEnabled())
            seen.back() += " " + window.button(id)->text().toStdString();
    seen.push_back(window.statusLine()->text().toStdString());
    return seen;
}

// Devices at variant 3 V01.00 but the EEPROM and the PLL; the file holds V01.01 images for both
// FPGAs, and the Head FPGA's erase fails: one green, one red row.
TEST_F(CamsimGui, ConnectsReconnectsOverCamLinkProgramsAndShowsTheRows) {
    setenv("QEL_DATA_DIR", work.path().c_str(), 1);
    setenv("TESSIPORT_INSTANCE", ("gui" + std::to_string(getpid())).c_str(), 1);
    ASSERT_EQ(files::writeFileSafely(work.path("tessiport.log"), {}), 0);  // the library logs
    startCamsim({"--serial", "1234", "--camlink-port", "0", "--firmware", "0:3:1.00", "--firmware",
                 "1:3:1.00", "--firmware", "4:3:1.00", "--fault", "erase-fail:4"});
    setenv("CLSERSIM_PORT0", camsim.camlinkAddress().c_str(), 1);
    // Two- and three-byte characters in the name, as the title shows it.
    const std::string updateFile = work.path("fpga_\u00fctf\u540d.qup");
    std::vector<uint8_t> bytes;
    ASSERT_EQ(
        tools::buildSampleUpdateFile(
            {1, 1, 3, {false, true, false, false, true}, 320 * 1024, 160 * 1024, 96 * 1024}, bytes),
        0u);
    ASSERT_EQ(files::writeFileSafely(updateFile, bytes), 0);

    gui::ConnectionDialog* connection = nullptr;
    std::vector<QString> boxes;
    whenIdle("main dialog after the direct connection", [&] {
        EXPECT_EQ(shown(*main),
                  (std::vector<std::string>{
                      "003 V01.00 #a0a0a0 ", "003 V01.00 #a0a0a0 ", "--- V--.-- #a0a0a0 ",
                      "--- V--.-- #a0a0a0 ", "003 V01.00 #a0a0a0 ",
                      "buttons: Load File Quit Select Port Reboot",
                      "Camera SNr. 1234 found   Load Update File, select other port "
                      "or close programmer"}));
        EXPECT_TRUE(guitest::saveScreenshot(*main, "main_dialog.png"));
        main->button(app::kIdSelectPort)->click();  // blocks until the connection dialog ends
    });
    driver.step(
        "connection dialog",
        [&] {
            connection = host.connectionDialog();
            return connection != nullptr && connection->isVisible() && !connection->busy();
        },
        [&] {
            EXPECT_FALSE(connection->okButton()->isEnabled());
            connection->comPortRadio()->click();
            // Each entry shows the device it opens: QEL_COM1 here, the PC's second port next.
            EXPECT_EQ(connection->portList()->itemText(0).toStdString(),
                      "ComPort_1  (" + camsim.portPath() + ")");
            const char* second = getenv("QEL_COM2");
            EXPECT_EQ(connection->portList()->itemText(1).toStdString(),
                      "ComPort_2  (" + std::string(second ? second : "/dev/ttyS1") + ")");
            EXPECT_TRUE(connection->cameraLinkRadio()->isEnabled());
            connection->cameraLinkRadio()->click();
            EXPECT_EQ(connection->portList()->currentText(), "CamLinkPort_0");
            connection->connectButton()->click();
            EXPECT_EQ(connection->statusText()->text(), "Camera SNr. 1234 found");
            EXPECT_TRUE(connection->okButton()->isEnabled());
            EXPECT_TRUE(guitest::saveScreenshot(*connection, "connection_dialog.png"));
            connection->okButton()->click();
        });
    whenIdle("main dialog after Select Port", [&] {
        EXPECT_EQ(main->statusLine()->text(),
                  "Load Update File, select other port or close programmer");
        main->button(app::kIdLoadFile)->click();
    });
    driver.step("file dialog", guitest::fileDialogOpen,
                [&] { guitest::answerFileDialog(updateFile); });
    whenIdle("loaded", [this] { main->button(app::kIdProgram)->click(); });
    driver.box("erase error box", boxes);
    driver.box("run failed box", boxes);
    whenIdle("programmed", [&] {
        // Read back after the reboot; a refused erase leaves the old image, and whether it touched
        // the flash is not known: program it again. The run ended early.
        EXPECT_EQ(shown(*main),
                  (std::vector<std::string>{
                      "003 V01.00 #a0a0a0 ", "003 V01.01 #00ff00 done", "--- V--.-- #a0a0a0 ",
                      "--- V--.-- #a0a0a0 ", "003 V01.00 #ff0000 failed", "buttons: Quit",
                      "Programming failed for Head FPGA! Incomplete, program again: "
                      "Head FPGA."}));
        EXPECT_TRUE(main->windowTitle().endsWith(QString::fromUtf8(" - fpga_\u00fctf\u540d.qup")))
            << "the loaded file's name: " << main->windowTitle().toStdString();
        EXPECT_TRUE(guitest::saveScreenshot(*main, "main_dialog_green_and_red.png"));
        EXPECT_TRUE(main->button(app::kIdQuit)->isDefault()) << "Return quits";
        QTest::keyClick(main, Qt::Key_Escape);
    });
    driver.start();
    morvat.InitInstance("-S -T0 -B0 -Nclsersim.dll");
    morvat.ExitInstance();
    for (const char* name : {"CLSERSIM_PORT0", "QEL_DATA_DIR", "TESSIPORT_INSTANCE"})
        unsetenv(name);

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].startsWith("Error Erase Flash!\nPlease contact QEL AG!\n"));
    EXPECT_TRUE(boxes[1].startsWith("Programming failed!\nPlease contact QEL AG!\n"));
    EXPECT_EQ(morvat.mainDialogResult, app::kResultCancel) << "Escape ends like closing the window";
    // Opened through the library with the grabber's name, board 0.
    ASSERT_EQ(files::readWholeFile(work.path("tessiport.log"), bytes), 0);
    EXPECT_NE(
        std::string(bytes.begin(), bytes.end()).find("Open_Cam_Ext: dll_name found clsersim.dll"),
        std::string::npos);
}

TEST_F(CamsimGui, PacketBacksThePllUpThenARightClickSwitchesToFilePacketsAndBuildsOne) {
    startCamsim({"--serial", "1234", "--firmware", "0:4:1.00", "--firmware", "3:4:1.00"});
    const std::string out = work.path("b\u00e4ckup\u540d.qup");
    // A direct connection leaves the check boxes disabled; two mode switches (to file packets
    // and back) enable those of the devices the camera reports.
    whenIdle("connected", [this] {
        QTest::mouseClick(main->button(app::kIdPacket), Qt::RightButton);
        QTest::mouseClick(main->button(app::kIdPacket), Qt::RightButton);
    });
    packetSteps(3, out);
    whenIdle("backup written", [&] {
        EXPECT_EQ(main->statusLine()->text(), "Creating qel.update file done");
        EXPECT_EQ(main->button(app::kIdPacket)->text(), "DevicePacket");
        const QImage bar = main->progressBar(3)->grab().toImage();
        EXPECT_EQ(bar.pixelColor(bar.width() / 2, bar.height() / 2).rgb(), QColor(0, 255, 0).rgb());
        EXPECT_TRUE(files::pathExists(out));
        EXPECT_TRUE(guitest::saveScreenshot(*main, "packet_device_mode.png"));
        main->checkBox(3)->click();  // the packet takes the EEPROM only
        QTest::mouseClick(main->button(app::kIdPacket), Qt::RightButton);
    });
    const std::string deviceFile = work.path("eeprom_004_V01_02.bin");
    std::ofstream(deviceFile, std::ios::binary) << std::string(448, 'e');
    // The save dialog adds the extension; the flow asks before it builds over a file again.
    const std::string packet = work.path("p\u00e4cket\u540d.qup");
    std::vector<QString> questions;
    packetSteps(2, work.path("p\u00e4cket\u540d"));  // every check box is enabled for file packets
    driver.step("device file dialog", guitest::fileDialogOpen,
                [&] { guitest::answerFileDialog(deviceFile); });
    whenIdle("packet written", [&] {
        EXPECT_EQ(main->button(app::kIdPacket)->text(), "FilePacket");
        EXPECT_EQ(main->statusLine()->text(),
                  QString::fromStdString("Creating qel.update file " + packet + " done"));
        EXPECT_TRUE(files::pathExists(packet));
        EXPECT_TRUE(guitest::saveScreenshot(*main, "packet_file_mode.png"));
        main->button(app::kIdPacket)->click();
    });
    driver.step("save dialog again", guitest::fileDialogOpen,
                [&] { guitest::answerFileDialog(packet); });
    driver.box("overwrite question", questions, QMessageBox::No);
    whenIdle("kept", [this] { main->button(app::kIdQuit)->click(); });
    driver.start();
    morvat.InitInstance("-P1 -S -T0 -B0");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    EXPECT_EQ(questions,
              std::vector<QString>{QString::fromStdString(
                  "File " + packet + " already exists.\nDo you want to overwrite it?\n")});
}

// The pixels of the bar, border included, that do not carry `colour`; -1 for an empty image.
int otherPixels(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage();
    int other = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            other += image.pixelColor(x, y).rgb() != colour.rgb();
    return image.width() > 0 ? other : -1;
}

TEST(RowProgressBar, StatesPaintTheWholeBarOrShowTheProgress) {
    gui::RowProgressBar bar;
    bar.resize(200, 24);
    bar.setValue(100);

    // Done and failed carry a word over their colour, so that they differ without colour.
    const struct {
        uint32_t state;
        QColor colour;
        const char* word;
    } cases[] = {
        {app::ROW_IDLE, QColor(160, 160, 160), ""},
        {app::ROW_DONE, QColor(0, 255, 0), "done"},
        {app::ROW_FAILED, QColor(255, 0, 0), "failed"},
        {0x1234, QColor(160, 160, 160), ""},  // a state no flow sets reads as idle
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        bar.setRowState(c.state);
        EXPECT_EQ(gui::RowProgressBar::stateWord(c.state), QString(c.word));
        const QImage image = bar.grab().toImage();
        for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 23), QPoint(199, 23)})
            EXPECT_EQ(image.pixelColor(corner).rgb(), c.colour.rgb());
        const int other = otherPixels(bar, c.colour);
        EXPECT_TRUE(*c.word ? other > 0 && other < 200 * 24 / 4 : other == 0) << other;
    }

    // Active: the bar itself with its position, so not filled with one colour.
    bar.setRowState(app::ROW_ACTIVE);
    const QImage full = bar.grab().toImage();
    for (const QColor& fill : {QColor(160, 160, 160), QColor(0, 255, 0), QColor(255, 0, 0)})
        EXPECT_NE(otherPixels(bar, fill), 0);
    bar.setValue(0);
    EXPECT_NE(bar.grab().toImage(), full) << "the position shows while active";
}

TEST(FileFilter, WindowsFormBecomesQtForm) {
    EXPECT_EQ(gui::qtFileFilter("Intel HEX|*.hex;*.eep|All files|*.*||"),
              "Intel HEX (*.hex *.eep);;All files (*.*)");
}

struct PaintCounter : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

TEST_F(CamsimGui, MainWindowRowsRepaintAtOnceAndTheRunningFlowCannotBeInterrupted) {
    app::ProgDlg dialog(host, factory);
    dialog.SetOptions({.packetMode = app::kPacketFile});  // no connection at start
    PaintCounter counter;
    whenIdle("main dialog", [&] {
        main->progressBar(2)->installEventFilter(&counter);
        // Plays a flow: while it runs, the events it pumps must not end the dialog.
        main->act([&] {
            const int paintsBefore = counter.paints;
            dialog.SetRowState(2, app::ROW_DONE);
            EXPECT_GT(counter.paints, paintsBefore) << "painted before the flow went on";
            main->close();
            host.pumpMessages();
            EXPECT_FALSE(dialog.Model().ended) << "closed";
            const auto* refused = main->findChild<QMessageBox*>("closeRefused");
            ASSERT_NE(refused, nullptr) << "the refused close says why";
            EXPECT_EQ(refused->text().toStdString(), app::kCloseRefusedText);
            QTest::keyClick(main, Qt::Key_Escape);
            host.pumpMessages();
            EXPECT_FALSE(dialog.Model().ended) << "Escape";
            EXPECT_EQ(main->findChildren<QMessageBox*>("closeRefused").size(), 1)
                << "one box however often the user tries";
            main->button(app::kIdQuit)->click();
            EXPECT_FALSE(dialog.Model().ended) << "Quit clicked";
        });
        main->button(app::kIdQuit)->click();
    });
    driver.start();
    EXPECT_EQ(host.runMainDialog(dialog), 0) << "Quit after the flow ended the dialog";
    ASSERT_TRUE(driver.finished()) << driver.pending();
    EXPECT_TRUE(dialog.Model().ended);
}

}  // namespace
