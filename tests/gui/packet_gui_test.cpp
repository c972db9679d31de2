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
    const std::string out = folder.path("b\u00e4ckup\u540d.qup");
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
            EXPECT_EQ(main->statusLine()->text(), "Creating qel.update file done");
            EXPECT_EQ(main->button(app::kIdPacket)->text(), "DevicePacket");
            const QImage bar = main->progressBar(3)->grab().toImage();
            EXPECT_EQ(bar.pixelColor(bar.width() / 2, bar.height() / 2).rgb(),
                      QColor(0, 255, 0).rgb());
            EXPECT_TRUE(files::pathExists(out));
            EXPECT_TRUE(guitest::saveScreenshot(*main, "packet_device_mode.png"));
            main->checkBox(3)->click();  // the packet takes the EEPROM only
            rightClick(main->button(app::kIdPacket));
        });
    const std::string deviceFile = folder.path("eeprom_004_V01_02.bin");
    std::ofstream(deviceFile, std::ios::binary) << std::string(448, 'e');
    // The save dialog adds the extension; the flow asks before it builds over a file again.
    const std::string packet = folder.path("p\u00e4cket\u540d.qup");
    std::vector<QString> questions;
    packetSteps(2, folder.path("p\u00e4cket\u540d"));  // every check box is enabled for file packets
    driver.step("device file dialog", guitest::fileDialogOpen,
                [&] { guitest::answerFileDialog(deviceFile); });
    driver.step(
        "packet written", [this] { return mainIdle(); },
        [&] {
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
    driver.step(
        "kept", [this] { return mainIdle(); }, [this] { main->button(app::kIdQuit)->click(); });
    driver.start();
    morvat.InitInstance("-P1 -S -T0 -B0");

    ASSERT_TRUE(driver.finished()) << "stopped before: " << driver.pending();
    EXPECT_EQ(driver.unexpectedBoxes, std::vector<QString>{});
    EXPECT_EQ(questions, std::vector<QString>{QString::fromStdString(
                             "File " + packet + " already exists.\nDo you want to overwrite it?\n")});
}

}  // namespace
