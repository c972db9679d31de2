// The real front end against camsim over a pty: -S connects at start, the rows show the camera's
// firmware, Select Port opens the connection dialog, and Escape runs the Quit steps. Screenshots
// of both dialogs are kept as test artifacts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
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
        ASSERT_TRUE(
            camsim.start({"--serial", "1234", "--firmware", "0:4:3.02", "--firmware", "1:2:1.05",
                          "--firmware", "4:7:2.10", "--boot-time", "200", "--erase-time", "20"}));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    }
    void TearDown() override { unsetenv("QEL_COM1"); }

    // The main dialog is up and no flow runs on it.
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               host.connectionDialog() == nullptr && QApplication::activeModalWidget() == main;
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

TEST_F(CamsimGui, LoadsAnUpdateFileAndProgramsTheCheckedDevice) {
    TempFolder folder;
    const std::string updateFile = writeUpdateFile(folder.path());
    QString loadedRow1;
    bool row1Checked = false;
    bool programEnabled = false;
    RowsSeen afterRun;
    QString statusAfterRun;
    QColor row1Colour;

    driver.step(
        "main dialog", [this] { return mainIdle(); },
        [this] { main->button(app::kIdLoadFile)->click(); });
    driver.step(
        "file dialog",
        [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; },
        [&] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (files == nullptr)
                return;
            // Typed into the name field, as a person would; the dialog lists folders lazily.
            if (auto* name = files->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(QString::fromStdString(updateFile));
            QMetaObject::invokeMethod(files, "accept");
        });
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
            const QImage bar = main->progressBar(1)->grab().toImage();
            row1Colour = bar.pixelColor(bar.width() / 2, bar.height() / 2);
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

}  // namespace
