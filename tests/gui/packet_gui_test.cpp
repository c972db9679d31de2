// The Packet button in the real front end against camsim: device packet mode (-P1) backs the PLL
// up; a right click switches to file packet mode, which builds an update file from a device file
// chosen in the file dialogs, and asks before it is built again over that file. The names hold
// two- and three-byte characters. Screenshots of both modes are kept as artifacts.

#include <QCheckBox>
#include <QMouseEvent>
#include <fstream>

#include "camsim_front_end.h"
#include "programmer/files/file_probe.h"
#include "tools/temp_folder.h"

namespace {

void rightClick(QPushButton* button) {
    const QPointF centre(button->width() / 2.0, button->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre),
                        Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QApplication::sendEvent(button, &release);
}

class PacketGui : public guitest::CamsimFrontEnd {
protected:
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

    tools::TempFolder folder;
};

TEST_F(PacketGui, BacksThePllUpThenARightClickSwitchesToFilePacketsAndBuildsOne) {
    startCamsim({"--firmware", "0:4:1.00", "--firmware", "3:4:1.00"});
    const std::string out = folder.path("bäckup名.qup");
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
    const std::string packet = folder.path("päcket名.qup");
    QString packetStatus, question;
    bool packetShot = false;
    packetSteps(2, folder.path("päcket名"));  // EEPROM: every check box is enabled for file packets
    driver.step("device file dialog", guitest::fileDialogOpen,
                [&] { guitest::answerFileDialog(deviceFile); });
    driver.step(
        "packet written", [this] { return mainIdle(); },
        [&] {
            captionAfter = main->button(app::kIdPacket)->text();
            packetStatus = main->statusLine()->text();
            packetShot = guitest::saveScreenshot(*main, "packet_file_mode.png");
            main->button(app::kIdPacket)->click();
        });
    driver.step("save dialog again", guitest::fileDialogOpen,
                [&] { guitest::answerFileDialog(packet); });
    driver.step(
        "overwrite question", [] { return guitest::openMessageBox() != nullptr; },
        [&] {
            if (QMessageBox* box = guitest::openMessageBox()) {
                question = box->text();
                box->done(QMessageBox::No);
            }
        },
        true);
    driver.step(
        "kept", [this] { return mainIdle(); },
        [this] { main->button(app::kIdQuit)->click(); });
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
    EXPECT_EQ(question, QString::fromStdString("File " + packet +
                                               " already exists.\nDo you want to overwrite it?\n"));
}

}  // namespace
