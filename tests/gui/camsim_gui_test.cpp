// The real front end: the usage box before any connection (printed, and logged with -L, without
// a display), and against camsim over a pty: -S
// connects at start, Select Port reconnects through the connection dialog, Escape quits; an update
// file loaded through the file dialog programs two devices, one of which camsim makes fail.
// Screenshots are kept as test artifacts.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "camsim_front_end.h"
#include "programmer/app/command_line.h"
#include "programmer/files/file_io.h"
#include "programmer/gui/connection_dialog.h"
#include "tools/sample_update.h"
#include "tools/temp_folder.h"

namespace {

TEST(StartUp, HelpShowsTheUsageBoxOnly) {
    gui::QtHost host{platform::realClock()};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, platform::realClock()};
    app::CMorvatApp morvat{host, factory};
    guitest::Driver driver;
    QString title, text;
    driver.step(
        "usage box", [] { return guitest::openMessageBox() != nullptr; },
        [&] {
            if (QMessageBox* box = guitest::openMessageBox()) {
                title = box->windowTitle();
                text = box->text();
                guitest::saveScreenshot(*box, "usage_box.png");
                box->done(QMessageBox::Ok);
            }
        },
        true);
    driver.start();
    EXPECT_FALSE(morvat.InitInstance("-S -T0 -H"));
    EXPECT_TRUE(driver.finished()) << driver.pending();
    EXPECT_EQ(title, "qel.programmer Information");
    EXPECT_EQ(text, QString::fromStdString(app::UsageText()));
    EXPECT_EQ(morvat.mainDialogResult, -1) << "the main dialog must not run";
}

// Without a display the usage text is printed instead of shown; -L logs that start as with a box:
// the start line, and the end line at exit.
TEST(StartUp, HelpWithoutADisplayPrintsTheUsageAndLogsTheStart) {
    tools::TempFolder folder;
    const std::string command = "cd " + folder.path() +
                                " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                KF_BINARY_DIR + "/bin/kelvoflash -H -L 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, got);
        EXPECT_EQ(pclose(pipe), 0);
    }
    EXPECT_EQ(out, app::UsageText() + "\n");
    std::vector<uint8_t> bytes;
    ASSERT_EQ(files::readWholeFile(folder.path(app::kLogFileName), bytes), 0) << "no log written";
    const std::string log(bytes.begin(), bytes.end());
    EXPECT_EQ(log.rfind("Logging to prog_log.txt started ", 0), 0u) << log;
    EXPECT_NE(log.find("\r\n\r\nLogging ended "), std::string::npos) << log;
}

struct RowsSeen {
    std::vector<QString> currentFw;
    std::vector<QRgb> colours;
    std::vector<QString> buttons;  // the enabled ones
    std::vector<QString> words;    // written over the colour of done and failed rows
    QString title;
};

RowsSeen readRows(const gui::MainDialog& window) {
    RowsSeen rows;
    for (int row = 0; row < app::kRowCount; ++row) {
        rows.currentFw.push_back(window.currentFw(row)->text());
        const QImage bar = window.progressBar(row)->grab().toImage();
        // A corner: the middle carries the row's word.
        rows.colours.push_back(bar.pixelColor(1, 1).rgb());
        rows.words.push_back(gui::RowProgressBar::stateWord(window.progressBar(row)->rowState()));
    }
    rows.title = window.windowTitle();
    for (const int id : app::kMainButtons)
        if (window.button(id)->isEnabled())
            rows.buttons.push_back(window.button(id)->text());
    return rows;
}

void pressKey(QWidget* widget, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// The update file of both FPGAs at 003 V01.01, written into `folder` as `name`.
std::string writeFpgaUpdate(const tools::TempFolder& folder,
                            const std::string& name = "fpga_update.qup") {
    const tools::SampleSettings sample{
        1, 1, 3, {false, true, false, false, true}, 320 * 1024, 160 * 1024, 96 * 1024};
    std::vector<uint8_t> bytes;
    EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
    const std::string path = folder.path(name);
    EXPECT_EQ(files::writeFileSafely(path, bytes), 0);
    return path;
}

class CamsimGui : public guitest::CamsimFrontEnd {
protected:
    // The connection dialog is up and no Connect runs on it.
    bool connectionIdle(gui::ConnectionDialog*& connection) {
        connection = host.connectionDialog();
        return connection != nullptr && connection->isVisible() && !connection->busy();
    }
    // Load File through the file dialog, then Program.
    void loadAndProgramSteps(const std::string& updateFile) {
        driver.step(
            "main dialog", [this] { return mainIdle(); },
            [this] { main->button(app::kIdLoadFile)->click(); });
        driver.step("file dialog", guitest::fileDialogOpen,
                    [updateFile] { guitest::answerFileDialog(updateFile); });
        driver.step(
            "loaded", [this] { return mainIdle(); },
            [this] { main->button(app::kIdProgram)->click(); });
    }
    // Reads the rows and the status line, saves `screenshot` and quits with Return (Quit is
    // the default button).
    void programmedStep(RowsSeen& rows, QString& status, bool& shot, const char* screenshot) {
        driver.step(
            "programmed", [this] { return mainIdle(); },
            [this, &rows, &status, &shot, screenshot] {
                rows = readRows(*main);
                status = main->statusLine()->text();
                shot = guitest::saveScreenshot(*main, screenshot);
                pressKey(main, Qt::Key_Return);
            });
    }
};

TEST_F(CamsimGui, ConnectsAtStartShowsTheRowsAndReconnectsThroughTheConnectionDialog) {
    startCamsim({"--firmware", "0:4:3.02", "--firmware", "1:2:1.05", "--firmware", "4:7:2.10"});
    gui::ConnectionDialog* connection = nullptr;
    RowsSeen atStart;
    QString statusAtStart, statusAfterReconnect, connectionConnected, firstPort, secondPort;
    bool okEnabledFresh = true, okEnabledConnected = false, mainShot = false,
         connectionShot = false;

    driver.step(
        "main dialog after the direct connection", [this] { return mainIdle(); },
        [&] {
            atStart = readRows(*main);
            statusAtStart = main->statusLine()->text();
            mainShot = guitest::saveScreenshot(*main, "main_dialog.png");
            main->button(app::kIdSelectPort)->click();  // blocks until the connection dialog ends
        });
    driver.step(
        "connection dialog",
        [&] { return connectionIdle(connection); },
        [&] {
            okEnabledFresh = connection->okButton()->isEnabled();
            connection->comPortRadio()->click();
            firstPort = connection->portList()->itemText(0);
            secondPort = connection->portList()->itemText(1);
            connection->connectButton()->click();
            connectionConnected = connection->statusText()->text();
            okEnabledConnected = connection->okButton()->isEnabled();
            connectionShot = guitest::saveScreenshot(*connection, "connection_dialog.png");
            connection->okButton()->click();
        });
    driver.step(
        "main dialog after Select Port", [this] { return mainIdle(); },
        [&] {
            statusAfterReconnect = main->statusLine()->text();
            pressKey(main, Qt::Key_Escape);
        });
    driver.start();
    morvat.InitInstance("-S -T0 -B0");
    morvat.ExitInstance();

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    EXPECT_EQ(atStart.currentFw, (std::vector<QString>{"004 V03.02", "002 V01.05", "--- V--.--",
                                                       "--- V--.--", "007 V02.10"}));
    EXPECT_EQ(atStart.colours, std::vector<QRgb>(app::kRowCount, QColor(160, 160, 160).rgb()));
    EXPECT_EQ(statusAtStart,
              "Camera SNr. 1234 found   Load Update File, select other port or "
              "close programmer");
    EXPECT_EQ(atStart.buttons,
              (std::vector<QString>{"Load File", "Quit", "Select Port", "Reboot"}));
    EXPECT_TRUE(mainShot);
    EXPECT_FALSE(okEnabledFresh);
    EXPECT_EQ(connectionConnected, "Camera SNr. 1234 found");
    // Each entry shows the device it opens: QEL_COM1 here, the PC's second port next.
    EXPECT_EQ(firstPort.toStdString(), "ComPort_1  (" + camsim.portPath() + ")");
    EXPECT_EQ(secondPort.toStdString(), getenv("QEL_COM2") == nullptr
                                            ? "ComPort_2  (/dev/ttyS1)"
                                            : "ComPort_2  (" + std::string(getenv("QEL_COM2")) + ")");
    EXPECT_TRUE(okEnabledConnected);
    EXPECT_TRUE(connectionShot);
    EXPECT_EQ(statusAfterReconnect, "Load Update File, select other port or close programmer");
    EXPECT_EQ(morvat.mainDialogResult, app::kResultCancel) << "Escape ends like closing the window";
}

// Devices at variant 3 V01.00 (the Main uP must be reported for Load File to be offered); the file
// holds V01.01 images for the two FPGAs, and the Head FPGA's erase fails: one green, one red row.
TEST_F(CamsimGui, LoadsAFileProgramsTwoDevicesAndShowsTheOneThatFailed) {
    startCamsim({"--firmware", "0:3:1.00", "--firmware", "1:3:1.00", "--firmware", "4:3:1.00",
                 "--fault", "erase-fail:4"});
    tools::TempFolder folder;
    // Two- and three-byte characters in the name, as the title shows it.
    const std::string updateFile = writeFpgaUpdate(folder, "fpga_ütf名.qup");

    std::vector<QString> boxes;
    RowsSeen rows;
    QString status;
    bool shot = false;
    loadAndProgramSteps(updateFile);
    for (const char* name : {"erase error box", "run failed box"})
        driver.step(
            name, [] { return guitest::openMessageBox() != nullptr; },
            [&] {
                if (QMessageBox* open = guitest::openMessageBox()) {
                    boxes.push_back(open->text());
                    open->done(QMessageBox::Ok);
                }
            },
            true);
    programmedStep(rows, status, shot, "main_dialog_green_and_red.png");
    driver.start();
    morvat.InitInstance("-S -T0 -B0");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].startsWith("Error Erase Flash!\nPlease contact QEL AG!\n"));
    EXPECT_TRUE(boxes[1].startsWith("Programming failed!\nPlease contact QEL AG!\n"));
    EXPECT_EQ(rows.colours[1], QColor(0, 255, 0).rgb());
    EXPECT_EQ(rows.currentFw[1], "003 V01.01") << "read back after the reboot";
    EXPECT_EQ(rows.colours[4], QColor(255, 0, 0).rgb());
    EXPECT_EQ(rows.words[1], "done");
    EXPECT_EQ(rows.words[4], "failed");
    EXPECT_TRUE(rows.title.endsWith(QString::fromUtf8(" - fpga_ütf名.qup")))
        << "the loaded file's name: " << rows.title.toStdString();
    EXPECT_EQ(rows.currentFw[4], "003 V01.00") << "a refused erase leaves the old image";
    // Whether a refused erase touched the flash is not known: the device must be programmed again.
    EXPECT_EQ(status, "Programming failed for Head FPGA! Incomplete, program again: Head FPGA.");
    EXPECT_EQ(rows.buttons, std::vector<QString>{"Quit"}) << "the run ended early";
    EXPECT_TRUE(shot);
    EXPECT_EQ(morvat.mainDialogResult, 0);
}

// Over Camera Link: the connection dialog's CameraLink choice with the grabber library clsersim
// (-N), through the real libtessiport.so to camsim's Camera Link socket; both FPGAs programmed.
TEST_F(CamsimGui, ConnectsOverCameraLinkAndProgramsTwoDevices) {
    tools::TempFolder folder;
    setenv("QEL_DATA_DIR", folder.path().c_str(), 1);
    setenv("TESSIPORT_INSTANCE", ("gui" + std::to_string(getpid())).c_str(), 1);
    ASSERT_EQ(files::writeFileSafely(folder.path("tessiport.log"), {}), 0);  // the library logs
    startCamsim({"--camlink-port", "0", "--firmware", "0:3:1.00", "--firmware", "1:3:1.00",
                 "--firmware", "4:3:1.00"});
    setenv("CLSERSIM_PORT0", camsim.camlinkAddress().c_str(), 1);
    unsetenv("QEL_COM1");  // nothing to be found over a COM port
    const std::string updateFile = writeFpgaUpdate(folder);

    gui::ConnectionDialog* connection = nullptr;
    bool cameraLinkOffered = false, okEnabled = false, connectionShot = false, shot = false;
    QString port, connected, status;
    RowsSeen rows;
    driver.step(
        "connection dialog",
        [&] { return connectionIdle(connection); },
        [&] {
            cameraLinkOffered = connection->cameraLinkRadio()->isEnabled();
            connection->cameraLinkRadio()->click();
            port = connection->portList()->currentText();
            connection->connectButton()->click();
            connected = connection->statusText()->text();
            okEnabled = connection->okButton()->isEnabled();
            connectionShot = guitest::saveScreenshot(*connection, "connection_dialog_camlink.png");
            connection->okButton()->click();
        });
    loadAndProgramSteps(updateFile);
    programmedStep(rows, status, shot, "main_dialog_camlink_programmed.png");
    driver.start();
    morvat.InitInstance("-T0 -Nclsersim.dll");
    for (const char* name : {"CLSERSIM_PORT0", "QEL_DATA_DIR", "TESSIPORT_INSTANCE"})
        unsetenv(name);

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    EXPECT_TRUE(cameraLinkOffered);
    EXPECT_EQ(port, "CamLinkPort_0");
    EXPECT_EQ(connected, "Camera SNr. 1234 found");
    EXPECT_TRUE(okEnabled);
    EXPECT_TRUE(connectionShot);
    for (int row : {1, 4}) {
        EXPECT_EQ(rows.colours[size_t(row)], QColor(0, 255, 0).rgb()) << row;
        EXPECT_EQ(rows.currentFw[size_t(row)], "003 V01.01") << "read back after the reboot";
    }
    EXPECT_EQ(status.toStdString(), "Load Update File, select other port or close programmer");
    EXPECT_TRUE(shot);
    // Opened through the library with the grabber's name, board 0.
    std::vector<uint8_t> log;
    ASSERT_EQ(files::readWholeFile(folder.path("tessiport.log"), log), 0);
    EXPECT_NE(std::string(log.begin(), log.end()).find("Open_Cam_Ext: dll_name found clsersim.dll"),
              std::string::npos);
}

}  // namespace
