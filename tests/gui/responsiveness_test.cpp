// The Qt front end on a real X display (Xvfb) while its flows wait for the camera: a second party
// pings the main window as a desktop does, from the start until the dialog has ended. The window
// must be on screen within 1 s and answer every ping within 250 ms, through an erase that takes
// 10 s, a Camera Link search that finds no camera behind the grabber, and a backup whose first
// block read is lost (its full time-out). Real time: camsim's erase and the library's time-outs.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "camsim_fixture.h"
#include "gui_driver.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/control_ids.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/app/pumping_calls.h"
#include "programmer/files/file_io.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"
#include "window_ping.h"

namespace {

constexpr std::chrono::milliseconds kFirstWindowLimit{1000};
constexpr std::chrono::milliseconds kAnswerLimit{250};

// A grabber line with nothing behind it: the connection is taken, nothing ever answers.
class SilentLine {
public:
    SilentLine() {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(socket_, 4) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        address_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~SilentLine() {
        if (socket_ >= 0)
            ::close(socket_);
    }
    const std::string& address() const { return address_; }

private:
    int socket_ = -1;
    std::string address_;
};

class Responsiveness : public testsupport::CamsimFixture {
public:
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               QApplication::activeModalWidget() == main;
    }
    void whenIdle(std::string name, std::function<void()> action) {
        driver->step(std::move(name), [this] { return mainIdle(); }, std::move(action));
    }

    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    // As the program sets it up.
    app::PumpingCalls calls{[this] { host.pumpMessages(); }};
    app::CMorvatApp morvat{host, factory};
    std::unique_ptr<guitest::Driver> driver;  // one per run
    gui::MainDialog* main = nullptr;
};

struct Scenario {
    const char* name;
    // Empty: no camsim, a silent grabber line on CamLinkPort_0.
    std::vector<std::string> camsimOptions;
    const char* arguments;
    // The user's steps after the start, and the number of boxes the flow shows (answered OK).
    void (*steps)(Responsiveness& test, const std::string& work);
    size_t boxes;
};

void programHeadFpga(Responsiveness& test, const std::string& work) {
    tools::SampleSettings head{1, 1, 4, {false, false, false, false, true}, 0, 0, 64 * 1024};
    std::vector<uint8_t> bytes;
    ASSERT_EQ(tools::buildSampleUpdateFile(head, bytes), 0u);
    const std::string file = work + "/head.qup";
    ASSERT_EQ(files::writeFileSafely(file, bytes), 0);
    test.whenIdle("connected", [&test] { test.main->button(app::kIdLoadFile)->click(); });
    test.driver->step("file dialog", guitest::fileDialogOpen,
                     [file] { guitest::answerFileDialog(file); });
    test.whenIdle("loaded", [&test] { test.main->button(app::kIdProgram)->click(); });
    test.whenIdle("programmed", [&test] { test.main->button(app::kIdQuit)->click(); });
}

void backUpThePll(Responsiveness& test, const std::string& work) {
    // A direct connection leaves the check boxes disabled; two mode switches enable them.
    test.whenIdle("connected", [&test] {
        QTest::mouseClick(test.main->button(app::kIdPacket), Qt::RightButton);
        QTest::mouseClick(test.main->button(app::kIdPacket), Qt::RightButton);
    });
    test.driver->step(
        "check the PLL", [&test] { return test.mainIdle() && test.main->checkBox(3)->isEnabled(); },
        [&test] {
            test.main->checkBox(3)->click();
            test.main->button(app::kIdPacket)->click();
        });
    const std::string out = work + "/backup.qup";
    test.driver->step("save dialog", guitest::fileDialogOpen,
                     [out] { guitest::answerFileDialog(out); });
    test.whenIdle("backed up", [&test] { test.main->button(app::kIdQuit)->click(); });
}

void answerTheBox(Responsiveness& test, const std::string&) {
    test.driver->box("no camera box", test.driver->unexpectedBoxes);
}

TEST_F(Responsiveness, TheMainWindowAnswersThroughEveryLongWait) {
    if (std::getenv("DISPLAY") == nullptr || QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X display (run under xvfb-run with QT_QPA_PLATFORM=xcb)";
    factory.setCallRunner(&calls);
    const Scenario scenarios[] = {
        {"erase of 10 s in a programming run",
         {"--erase-time", "10000", "--firmware", "0:4:1.00", "--firmware", "4:4:1.00"},
         "-S -T0 -B0",
         programHeadFpga,
         0},
        {"Camera Link search with no camera", {}, "-S -T2 -B0 -Nclsersim.dll", answerTheBox, 1},
        {"backup whose first block read is lost",
         {"--firmware", "0:4:1.00", "--firmware", "3:4:1.00", "--fault", "no-reply:0x1603:1"},
         "-P1 -S -T0 -B0",
         backUpThePll,
         0},
    };
    setenv("QEL_DATA_DIR", work.path().c_str(), 1);
    setenv("TESSIPORT_INSTANCE", ("ping" + std::to_string(getpid())).c_str(), 1);
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        tools::TempFolder folder;
        SilentLine silent;
        if (s.camsimOptions.empty()) {
            ASSERT_FALSE(silent.address().empty());
            setenv("CLSERSIM_PORT0", silent.address().c_str(), 1);
        } else {
            camsim.stop();
            startCamsim(s.camsimOptions);
        }
        driver = std::make_unique<guitest::Driver>();
        s.steps(*this, folder.path());
        guitest::WindowPing ping;
        ASSERT_TRUE(ping.start());
        driver->start();
        morvat.InitInstance(s.arguments);
        ping.stop();
        unsetenv("CLSERSIM_PORT0");

        std::printf("[ figures ] %s: first window after %lld ms, worst answer %lld ms at %lld ms "
                    "(%d pings)\n",
                    s.name, static_cast<long long>(ping.firstWindow().count()),
                    static_cast<long long>(ping.worstAnswer().count()),
                    static_cast<long long>(ping.worstAt().count()), ping.answers());
        EXPECT_GE(ping.firstWindow().count(), 0) << "no window came";
        EXPECT_LE(ping.firstWindow(), kFirstWindowLimit);
        EXPECT_LE(ping.worstAnswer(), kAnswerLimit);
        EXPECT_GT(ping.answers(), 10);
        EXPECT_TRUE(driver->finished()) << "stopped before: " << driver->pending();
        EXPECT_EQ(driver->unexpectedBoxes.size(), s.boxes);
        for (const QString& box : driver->unexpectedBoxes)
            std::printf("[ box     ] %s\n", box.toStdString().c_str());
    }
    unsetenv("QEL_DATA_DIR");
    unsetenv("TESSIPORT_INSTANCE");
}

}  // namespace
