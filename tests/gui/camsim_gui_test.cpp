// The real front end against camsim over a pty: -S connects at start, the rows show the camera's
// firmware, Select Port opens the connection dialog, and Escape runs the Quit steps; an update
// file loaded through the file dialog programs the camera, also when camsim makes one of two
// devices fail. Screenshots of the dialogs are kept as test artifacts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <cstdlib>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/files/file_io.h"
#include "programmer/files/update_file_writer.h"
#include "programmer/gui/connection_dialog.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"
#include "tests/camera/camsim_process.h"
#include "tools/sample_update.h"

namespace {

using camera::test::CamsimProcess;
using camera::test::TempFolder;
using guitest::Driver;

constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";

struct RowsSeen {
    std::vector<QString> currentFw;
    std::vector<QString> loadedFw;
    std::vector<QString> devices;
    std::vector<uint32_t> states;
};

RowsSeen readRows(const gui::MainDialog& window) {
    RowsSeen rows;
    for (int row = 0; row < app::kRowCount; ++row) {
        rows.currentFw.push_back(window.currentFw(row)->text());
        rows.loadedFw.push_back(window.loadedFw(row)->text());
        rows.devices.push_back(window.checkBox(row)->text());
        rows.states.push_back(window.progressBar(row)->rowState());
    }
    return rows;
}

// The flows' fixed waits (15 s for a camera's boot after a reboot) pass twenty times faster;
// time read from the clock still moves by the full wait, and the serial I/O runs in real time.
class FastClock : public platform::Clock {
public:
    platform::Milliseconds now() const override { return platform::realClock().now() + skipped_; }
    void sleepFor(platform::Milliseconds duration) override {
        const platform::Milliseconds real = duration / 20;
        platform::realClock().sleepFor(real);
        skipped_ += duration - real;
    }

private:
    platform::Milliseconds skipped_{0};
};

// kelvoflash's set-up in this process, with camsim on COM1.
class CamsimGui : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim not built";
        std::vector<std::string> options = camsimFirmware();
        for (const std::string& fault : camsimFaults())
            options.insert(options.end(), {"--fault", fault});
        options.insert(options.end(),
                       {"--serial", "1234", "--boot-time", "200", "--erase-time", "20"});
        ASSERT_TRUE(camsim.start(options));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    }
    void TearDown() override { unsetenv("QEL_COM1"); }

    // camsim's --firmware and --fault options.
    virtual std::vector<std::string> camsimFirmware() const {
        return {"--firmware", "0:4:3.02", "--firmware", "1:2:1.05", "--firmware", "4:7:2.10"};
    }
    virtual std::vector<std::string> camsimFaults() const { return {}; }

    // The main dialog is up and no flow runs on it.
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               host.connectionDialog() == nullptr && QApplication::activeModalWidget() == main;
    }

    // Steps: Load File on the idle main dialog, then the update file's path typed into the file
    // dialog.
    void loadThroughFileDialog(const std::string& updateFile) {
        driver.step(
            "main dialog", [this] { return mainIdle(); },
            [this] { main->button(app::kIdLoadFile)->click(); });
        driver.step(
            "file dialog",
            [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; },
            [updateFile] {
                auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (files == nullptr)
                    return;
                // Typed into the name field, as a person would; the dialog lists folders lazily.
                if (auto* name = files->findChild<QLineEdit*>("fileNameEdit"))
                    name->setText(QString::fromStdString(updateFile));
                QMetaObject::invokeMethod(files, "accept");
            });
    }

    CamsimProcess camsim;
    FastClock clock;
    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    app::CMorvatApp morvat{host, factory};
    Driver driver;
    gui::MainDialog* main = nullptr;
};

TEST_F(CamsimGui, ConnectsAtStartShowsTheRowsAndReconnectsThroughTheConnectionDialog) {
    gui::ConnectionDialog* connection = nullptr;
    RowsSeen atStart;
    RowsSeen afterReconnect;
    QString title;
    QString statusAtStart;
    QString statusAfterReconnect;
    QString connectionStatusFresh;
    QString connectionStatusConnected;
    bool okEnabledFresh = true;
    bool okEnabledConnected = false;
    bool mainShot = false;
    bool connectionShot = false;
    std::vector<QString> enabledButtons;

    const auto mainIdle = [this] { return this->mainIdle(); };
    driver.step("main dialog after the direct connection", mainIdle, [&] {
        atStart = readRows(*main);
        title = main->windowTitle();
        statusAtStart = main->statusLine()->text();
        for (const int id : app::kMainButtons)
            if (main->button(id)->isEnabled())
                enabledButtons.push_back(main->button(id)->text());
        mainShot = guitest::saveScreenshot(*main, "main_dialog.png");
        main->button(app::kIdSelectPort)->click();  // blocks until the connection dialog ends
    });
    driver.step(
        "connection dialog",
        [&] {
            connection = host.connectionDialog();
            return connection != nullptr && connection->isVisible() && !connection->busy();
        },
        [&] {
            connectionStatusFresh = connection->statusText()->text();
            okEnabledFresh = connection->okButton()->isEnabled();
            connection->comPortRadio()->click();
            connection->connectButton()->click();
            connectionStatusConnected = connection->statusText()->text();
            okEnabledConnected = connection->okButton()->isEnabled();
            connectionShot = guitest::saveScreenshot(*connection, "connection_dialog.png");
            connection->okButton()->click();
        });
    driver.step("main dialog after Select Port", mainIdle, [&] {
        afterReconnect = readRows(*main);
        statusAfterReconnect = main->statusLine()->text();
        guitest::saveScreenshot(*main, "main_dialog_after_select_port.png");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(main, &escape);
    });
    driver.start();
    morvat.InitInstance("-S -T0 -B0");
    morvat.ExitInstance();

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_FALSE(driver.timedOut);
    EXPECT_TRUE(driver.unexpectedBoxes.empty()) << driver.unexpectedBoxes.front().toStdString();

    const std::vector<QString> firmware = {"004 V03.02", "002 V01.05", "--- V--.--", "--- V--.--",
                                           "007 V02.10"};
    EXPECT_EQ(atStart.currentFw, firmware);
    EXPECT_EQ(atStart.loadedFw, std::vector<QString>(app::kRowCount, "--- V--.--"));
    EXPECT_EQ(atStart.devices, (std::vector<QString>{QString::fromUtf8("Main \u00B5P"), "Main FPGA",
                                                     "EEPROM", "PLL", "Head FPGA"}));
    EXPECT_EQ(atStart.states, std::vector<uint32_t>(app::kRowCount, app::ROW_IDLE));
    EXPECT_EQ(title, "kelvoflash v1.11 ");
    EXPECT_EQ(statusAtStart, QString("Camera SNr. 1234 found   ") + kLoadOrSelect);
    EXPECT_EQ(enabledButtons, (std::vector<QString>{"Load File", "Quit", "Select Port", "Reboot"}));
    EXPECT_TRUE(mainShot);

    EXPECT_EQ(connectionStatusFresh, "Select Interface Type\nSelect Port\nConnect\n");
    EXPECT_FALSE(okEnabledFresh);
    EXPECT_EQ(connectionStatusConnected, "Camera SNr. 1234 found");
    EXPECT_TRUE(okEnabledConnected);
    EXPECT_TRUE(connectionShot);

    EXPECT_EQ(afterReconnect.currentFw, firmware);
    EXPECT_EQ(statusAfterReconnect, kLoadOrSelect);
    EXPECT_EQ(morvat.mainDialogResult, app::kResultCancel) << "Escape ends like closing the window";
}

// An update file with a newer Main FPGA image (variant 2, V01.06; its version block leads the
// image, where the camera reports it from).
std::string writeUpdateFile(const std::string& folder) {
    files::VersionBlock version;
    version.versionMajor = 1;
    version.versionMinor = 6;
    version.variant = 2;
    std::vector<uint8_t> image(600, 0x5A);
    version.encode(image.data());
    files::UpdateFileWriter writer;
    writer.addRecord(1, 0, version, image.data(), uint32_t(image.size()));
    std::vector<uint8_t> bytes;
    writer.finish(bytes);
    const std::string path = folder + "/fpga_update.qup";
    files::writeFileSafely(path, bytes);
    return path;
}

QColor centreColour(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

TEST_F(CamsimGui, LoadsAnUpdateFileAndProgramsTheCheckedDevice) {
    TempFolder folder;
    const std::string updateFile = writeUpdateFile(folder.path());
    QString loadedRow1;
    bool row1Checked = false;
    bool programEnabled = false;
    RowsSeen afterRun;
    QString statusAfterRun;
    QColor row1Colour;

    loadThroughFileDialog(updateFile);
    driver.step(
        "loaded", [this] { return mainIdle(); },
        [&] {
            loadedRow1 = main->loadedFw(1)->text();
            row1Checked = main->checkBox(1)->isChecked();
            programEnabled = main->button(app::kIdProgram)->isEnabled();
            guitest::saveScreenshot(*main, "main_dialog_loaded.png");
            main->button(app::kIdProgram)->click();
        });
    driver.step(
        "programmed", [this] { return mainIdle(); },
        [&] {
            afterRun = readRows(*main);
            statusAfterRun = main->statusLine()->text();
            row1Colour = centreColour(*main->progressBar(1));
            guitest::saveScreenshot(*main, "main_dialog_programmed.png");
            main->button(app::kIdQuit)->click();
        });
    driver.start();
    morvat.InitInstance("-S -T0 -B0");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_TRUE(driver.unexpectedBoxes.empty()) << driver.unexpectedBoxes.front().toStdString();
    EXPECT_EQ(loadedRow1, "002 V01.06");
    EXPECT_TRUE(row1Checked) << "a newer image is offered";
    EXPECT_TRUE(programEnabled);
    EXPECT_EQ(afterRun.states[1], app::ROW_DONE) << statusAfterRun.toStdString();
    EXPECT_EQ(row1Colour.rgb(), QColor(0, 255, 0).rgb());
    EXPECT_EQ(afterRun.currentFw[1], "002 V01.06") << "read back from the camera after its reboot";
    EXPECT_EQ(morvat.mainDialogResult, 0);
}

// A camera whose devices run variant 3 V01.00 (the Main uP must be reported for Load File to be
// offered), and an update file with V01.01 images for the two FPGAs; the images are small, so that
// a run takes a few seconds.
class CamsimGuiTwoDevices : public CamsimGui {
protected:
    std::vector<std::string> camsimFirmware() const override {
        return {"--firmware", "0:3:1.00", "--firmware", "1:3:1.00", "--firmware", "4:3:1.00"};
    }

    std::string writeTwoDeviceUpdate() {
        tools::SampleSettings sample;
        sample.versionMajor = 1;
        sample.versionMinor = 1;
        sample.variant = 3;
        sample.devices = {false, true, false, false, true};
        sample.mainFpgaBytes = 160 * 1024;
        sample.headFpgaBytes = 96 * 1024;
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
        const std::string path = folder.path() + "/fpga_update.qup";
        EXPECT_EQ(files::writeFileSafely(path, bytes), 0);
        return path;
    }

    struct RunSeen {
        std::vector<bool> checkedAfterLoad;
        std::vector<QString> boxes;
        RowsSeen rows;
        std::vector<QRgb> colours;
        QString status;
        std::vector<QString> enabledButtons;
        bool shot = false;
    };

    // Loads the file, presses Program with the offered devices checked, reads and closes the
    // `boxes` message boxes the run shows, and then reads the rows, saves `screenshot` and quits.
    RunSeen programBothDevices(int boxes, const std::string& screenshot) {
        RunSeen seen;
        loadThroughFileDialog(writeTwoDeviceUpdate());
        driver.step(
            "loaded", [this] { return mainIdle(); },
            [this, &seen] {
                for (int row = 0; row < app::kRowCount; ++row)
                    seen.checkedAfterLoad.push_back(main->checkBox(row)->isChecked());
                main->button(app::kIdProgram)->click();
            });
        for (int box = 0; box < boxes; ++box) {
            driver.step(
                "message box " + std::to_string(box + 1),
                [] { return guitest::openMessageBox() != nullptr; },
                [&seen] {
                    if (QMessageBox* open = guitest::openMessageBox()) {
                        seen.boxes.push_back(open->text());
                        open->done(QMessageBox::Ok);
                    }
                },
                true);
        }
        driver.step(
            "programmed", [this] { return mainIdle(); },
            [this, &seen, screenshot] {
                seen.rows = readRows(*main);
                for (int row = 0; row < app::kRowCount; ++row)
                    seen.colours.push_back(centreColour(*main->progressBar(row)).rgb());
                seen.status = main->statusLine()->text();
                for (const int id : app::kMainButtons)
                    if (main->button(id)->isEnabled())
                        seen.enabledButtons.push_back(main->button(id)->text());
                seen.shot = guitest::saveScreenshot(*main, screenshot);
                main->button(app::kIdQuit)->click();
            });
        driver.start();
        morvat.InitInstance("-S -T0 -B0");
        return seen;
    }

    TempFolder folder;
};

const QRgb kGreen = QColor(0, 255, 0).rgb();
const QRgb kRed = QColor(255, 0, 0).rgb();
const std::vector<bool> kBothFpgas = {false, true, false, false, true};

class CamsimGuiHeadFpgaEraseFails : public CamsimGuiTwoDevices {
protected:
    std::vector<std::string> camsimFaults() const override { return {"erase-fail:4"}; }
};

TEST_F(CamsimGuiHeadFpgaEraseFails, MainFpgaEndsGreenHeadFpgaRedAndTheRunWarns) {
    const RunSeen seen = programBothDevices(2, "main_dialog_green_and_red.png");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_TRUE(driver.unexpectedBoxes.empty()) << driver.unexpectedBoxes.front().toStdString();
    EXPECT_EQ(seen.checkedAfterLoad, kBothFpgas) << "both newer images are offered";

    ASSERT_EQ(seen.boxes.size(), 2u);
    EXPECT_TRUE(seen.boxes[0].startsWith("Error Erase Flash!\nPlease contact QEL AG!\n"))
        << seen.boxes[0].toStdString();
    EXPECT_TRUE(seen.boxes[1].startsWith("Programming failed!\nPlease contact QEL AG!\n"))
        << seen.boxes[1].toStdString();

    EXPECT_EQ(seen.rows.states[1], app::ROW_DONE);
    EXPECT_EQ(seen.colours[1], kGreen);
    EXPECT_EQ(seen.rows.currentFw[1], "003 V01.01") << "read back after the reboot";
    EXPECT_EQ(seen.rows.states[4], app::ROW_FAILED);
    EXPECT_EQ(seen.colours[4], kRed);
    EXPECT_EQ(seen.rows.currentFw[4], "003 V01.00") << "a refused erase leaves the old image";
    EXPECT_EQ(seen.status, "Programming failed for Head FPGA!");
    EXPECT_EQ(seen.enabledButtons, std::vector<QString>{"Quit"}) << "the run ended early";
    EXPECT_TRUE(seen.shot);
    EXPECT_EQ(morvat.mainDialogResult, 0);
}

class CamsimGuiMainFpgaWriteFails : public CamsimGuiTwoDevices {
protected:
    std::vector<std::string> camsimFaults() const override { return {"write-fail:1:3"}; }
};

// A refused block write fails its device only: the run goes on with the next device, and the red
// row and the status line tell which one failed.
TEST_F(CamsimGuiMainFpgaWriteFails, MainFpgaEndsRedHeadFpgaGreenAndTheRunGoesOn) {
    const RunSeen seen = programBothDevices(0, "main_dialog_red_and_green.png");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_TRUE(driver.unexpectedBoxes.empty()) << driver.unexpectedBoxes.front().toStdString();
    EXPECT_EQ(seen.checkedAfterLoad, kBothFpgas);

    EXPECT_EQ(seen.rows.states[1], app::ROW_FAILED);
    EXPECT_EQ(seen.colours[1], kRed);
    // The half-written FPGA must not claim the new version after the reboot.
    EXPECT_EQ(seen.rows.currentFw[1], "--- V--.--");
    EXPECT_EQ(seen.rows.states[4], app::ROW_DONE);
    EXPECT_EQ(seen.colours[4], kGreen);
    EXPECT_EQ(seen.rows.currentFw[4], "003 V01.01");
    EXPECT_EQ(seen.status, QString("Programming failed for Main FPGA! ") + kLoadOrSelect);
    EXPECT_TRUE(seen.shot);
    EXPECT_EQ(morvat.mainDialogResult, 0);
}

}  // namespace
