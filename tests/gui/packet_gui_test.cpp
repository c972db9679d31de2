// The Packet button in the real front end against camsim: device packet mode (-P1) backs the PLL
// up; a right click switches to file packet mode, which builds an update file from a device file
// chosen in the file dialogs. Screenshots of both modes are kept as artifacts.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <fstream>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/files/file_probe.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace {

// The reboot's fixed waits pass twenty times faster; the serial I/O is real time.
class FastClock : public platform::Clock {
public:
    platform::Milliseconds now() const override { return platform::realClock().now() + skipped_; }
    void sleepFor(platform::Milliseconds duration) override {
        platform::realClock().sleepFor(duration / 20);
        skipped_ += duration - duration / 20;
    }

private:
    platform::Milliseconds skipped_{0};
};

void rightClick(QPushButton* button) {
    const QPointF centre(button->width() / 2.0, button->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre),
                        Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QApplication::sendEvent(button, &release);
}

bool fileDialogOpen() {
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr;
}

// Types the name into the open file dialog and accepts it, as a person would.
void answerFileDialog(const std::string& path) {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr) {
        name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept");
    }
}

class PacketGui : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("QEL_COM1"); }
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               QApplication::activeModalWidget() == main;
    }
    // Clicks Packet with `row` checked and answers the save dialog with `out`.
    void packetSteps(int row, const std::string& out) {
        driver.step(
            "main dialog", [this, row] { return mainIdle() && main->checkBox(row)->isEnabled(); },
            [this, row] {
                main->checkBox(row)->click();
                main->button(app::kIdPacket)->click();
            });
        driver.step("save dialog", fileDialogOpen, [out] { answerFileDialog(out); });
    }

    tools::TempFolder folder;
    FastClock clock;
    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    app::CMorvatApp morvat{host, factory};
    guitest::Driver driver;
    gui::MainDialog* main = nullptr;
};

TEST_F(PacketGui, BacksThePllUpThenARightClickSwitchesToFilePacketsAndBuildsOne) {
    const std::string camsimBinary = std::string(KF_BINARY_DIR) + "/bin/camsim";
    if (access(camsimBinary.c_str(), X_OK) != 0)
        GTEST_SKIP() << "camsim not built";
    tools::CamsimProcess camsim;
    ASSERT_TRUE(camsim.start(
        camsimBinary, {"--firmware", "0:4:1.00", "--firmware", "3:4:1.00", "--boot-time", "200"}));
    setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    const std::string out = folder.path("backup.qup");
    QString status, captionBefore, captionAfter;
    QRgb pllColour = 0;
    bool shot = false;
    // A direct connection leaves the check boxes disabled; two mode switches (to file packets
    // and back) enable those of the devices the camera reports.
    driver.step(
        "connected", [this] { return mainIdle(); },
        [this] {
            rightClick(main->button(app::kIdPacket));
            rightClick(main->button(app::kIdPacket));
        });
    packetSteps(3, out);
    driver.step(
        "backup written", [this] { return mainIdle(); },
        [&] {
            status = main->statusLine()->text();
            captionBefore = main->button(app::kIdPacket)->text();
            const QImage bar = main->progressBar(3)->grab().toImage();
            pllColour = bar.pixelColor(bar.width() / 2, bar.height() / 2).rgb();
            shot = guitest::saveScreenshot(*main, "packet_device_mode.png");
            main->checkBox(3)->click();  // the packet takes the EEPROM only
            rightClick(main->button(app::kIdPacket));
        });
    const std::string deviceFile = folder.path("eeprom_004_V01_02.bin");
    std::ofstream(deviceFile, std::ios::binary) << std::string(448, 'e');
    const std::string packet = folder.path("packet.qup");
    QString packetStatus;
    bool packetShot = false;
    packetSteps(2, folder.path("packet"));  // EEPROM: every check box is enabled for file packets
    driver.step("device file dialog", fileDialogOpen, [&] { answerFileDialog(deviceFile); });
    driver.step(
        "packet written", [this] { return mainIdle(); },
        [&] {
            captionAfter = main->button(app::kIdPacket)->text();
            packetStatus = main->statusLine()->text();
            packetShot = guitest::saveScreenshot(*main, "packet_file_mode.png");
            main->button(app::kIdQuit)->click();
        });
    driver.start();
    morvat.InitInstance("-P1 -S -T0 -B0");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    EXPECT_EQ(status, "Creating qel.update file done");
    EXPECT_EQ(captionBefore, "DevicePacket");
    EXPECT_EQ(pllColour, QColor(0, 255, 0).rgb());
    EXPECT_TRUE(files::pathExists(out));
    EXPECT_TRUE(shot);
    EXPECT_EQ(captionAfter, "FilePacket");
    EXPECT_EQ(packetStatus, QString::fromStdString("Creating qel.update file " + packet + " done"));
    EXPECT_TRUE(files::pathExists(packet));
    EXPECT_TRUE(packetShot);
}

}  // namespace
