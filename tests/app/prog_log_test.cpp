#include "programmer/app/prog_log.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "scripted_camera.h"
#include "scripted_host.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ProgLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("kf_app_log_" + std::to_string(::getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory);
        fs::create_directories(directory);
        path = directory / "prog_log.txt";
    }
    void TearDown() override {
        app::CloseLog({});
        fs::remove_all(directory);
    }
    fs::path directory;
    fs::path path;
    const app::LocalTime start{9, 5, 7, 3, 4, 2026};
    const app::LocalTime end{10, 11, 12, 3, 4, 2026};
};

TEST_F(ProgLogTest, RunAppendsStartLinesTransportLinesAndEndLine) {
    ASSERT_TRUE(app::OpenLog(path.string(), start));
    app::LogPrintfSink sink;
    sink.log("write %d bytes", 5);
    app::LogPrintf("read %s", "ok");
    app::CloseLog(end);
    const std::string first =
        "Logging to prog_log.txt started 09:05:07 03.04.2026\r\n\r\n"
        "write 5 bytes\r\nread ok\r\n"
        "Logging ended 10:11.12\r\n\r\n";
    EXPECT_EQ(readAll(path), first);

    // A second run appends.
    ASSERT_TRUE(app::OpenLog(path.string(), start));
    app::CloseLog(end);
    EXPECT_EQ(readAll(path), first + "Logging to prog_log.txt started 09:05:07 03.04.2026\r\n\r\n"
                                     "Logging ended 10:11.12\r\n\r\n");
}

TEST_F(ProgLogTest, LongLineIsCutTo197Characters) {
    ASSERT_TRUE(app::OpenLog(path.string(), start));
    const std::string longText(500, 'a');
    app::LogPrintf("%s", longText.c_str());
    app::CloseLog(end);
    const std::string content = readAll(path);
    EXPECT_NE(content.find("\r\n\r\n" + std::string(197, 'a') + "\r\nLogging ended"), std::string::npos);
}

TEST_F(ProgLogTest, NothingIsWrittenWhileTheLogIsOff) {
    app::LogPrintf("lost");
    app::CloseLog(end);
    EXPECT_FALSE(fs::exists(path));
    // An unopenable path leaves logging off without a message.
    EXPECT_FALSE(app::OpenLog((directory / "missing" / "prog_log.txt").string(), start));
    EXPECT_FALSE(app::LogIsOpen());
}

TEST_F(ProgLogTest, HelpWithLogOpensTheLogShowsUsageAndWritesTheTrailer) {
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    app::CMorvatApp application(host, factory);
    application.logPath = path.string();
    application.localTime = [this] { return start; };
    EXPECT_FALSE(application.InitInstance("-H -L"));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, app::UsageText());
    EXPECT_EQ(host.boxes[0].caption, "qel.programmer Information");
    EXPECT_EQ(host.boxes[0].icon, app::BoxIcon::None);
    EXPECT_EQ(host.mainDialogs, 0);
    application.ExitInstance();
    EXPECT_EQ(readAll(path), "Logging to prog_log.txt started 09:05:07 03.04.2026\r\n\r\n"
                             "Logging ended 09:05.07\r\n\r\n");
}

TEST_F(ProgLogTest, QuestionMarkOpensNoLog) {
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    app::CMorvatApp application(host, factory);
    application.logPath = path.string();
    application.InitInstance("-L ?");
    application.ExitInstance();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(ProgLogTest, StartUpRunsTheMainDialogWithTheDefaultGrabberName) {
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    std::string grabberSeen;
    host.connectionScript = [&](app::CMorvatDlg& dialog) { grabberSeen = dialog.grabberDll; };
    app::CMorvatApp application(host, factory);
    EXPECT_FALSE(application.InitInstance(""));
    EXPECT_EQ(host.mainDialogs, 1);
    EXPECT_EQ(host.connectionDialogs, 1);  // the posted Select Port
    EXPECT_EQ(grabberSeen, "clserme4.dll");
    EXPECT_EQ(application.mainDialogResult, 0);
}

}  // namespace
