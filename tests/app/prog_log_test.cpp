#include "programmer/app/prog_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "model_link.h"
#include "scripted_host.h"
#include "tools/temp_folder.h"

namespace {

const std::string kStarted = "Logging to prog_log.txt started 09:05:07 03.04.2026\r\n\r\n";

class ProgLogTest : public ::testing::Test {
protected:
    void TearDown() override { app::CloseLog({}); }
    std::string content() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The application with the log in the scratch folder, started with `arguments`.
    bool startApp(const std::string& arguments) {
        application.logPath = path;
        application.localTime = [this] { return start; };
        return application.InitInstance(arguments);
    }

    tools::TempFolder folder;
    const std::string path = folder.path("prog_log.txt");
    const app::LocalTime start{9, 5, 7, 3, 4, 2026};
    const app::LocalTime end{10, 11, 12, 3, 4, 2026};
    apptest::ScriptedHost host;
    apptest::ModelFactory factory;
    app::CMorvatApp application{host, factory};
};

TEST_F(ProgLogTest, RunsAppendStartLinesTransportLinesCutLinesAndEndLine) {
    app::LogPrintf("lost");  // nothing is written while the log is off
    ASSERT_TRUE(app::OpenLog(path, start));
    app::LogPrintfSink sink;
    sink.log("write %d bytes", 5);
    app::LogPrintf("%s", std::string(500, 'a').c_str());
    app::CloseLog(end);
    const std::string first = kStarted + "write 5 bytes\r\n" + std::string(197, 'a') +
                              "\r\nLogging ended 10:11.12\r\n\r\n";
    EXPECT_EQ(content(), first);
    ASSERT_TRUE(app::OpenLog(path, start));
    app::CloseLog(end);
    EXPECT_EQ(content(), first + kStarted + "Logging ended 10:11.12\r\n\r\n");
    // An unopenable path leaves logging off without a message.
    EXPECT_FALSE(app::OpenLog(folder.path("missing/prog_log.txt"), start));
    EXPECT_FALSE(app::LogIsOpen());
}

TEST_F(ProgLogTest, TwoProgrammersLoggingInOneFolderKeepEachOthersLines) {
    constexpr int kLines = 3000;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            app::OpenLog(path, start);
            for (int line = 0; line < kLines; ++line)
                app::LogPrintf("program %d line %d", child, line);
            app::CloseLog(end);
            _exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
    }
    std::istringstream lines(content());
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.rfind("program ", 0) == 0;
    EXPECT_EQ(count, 2 * kLines);
}

TEST_F(ProgLogTest, HelpWithLogShowsUsageAndWritesTheTrailerQuestionMarkNoLogNoneRunsTheDialog) {
    EXPECT_FALSE(startApp("-H -L"));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, app::UsageText());
    EXPECT_EQ(host.boxes[0].caption, "qel.programmer Information");
    EXPECT_EQ(host.boxes[0].icon, app::BoxIcon::None);
    EXPECT_EQ(host.mainDialogs, 0);
    application.ExitInstance();
    EXPECT_EQ(content(), kStarted + "Logging ended 09:05.07\r\n\r\n");

    std::filesystem::remove(path);
    startApp("-L ?");
    application.ExitInstance();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(host.boxes.size(), 2u);

    // Without options the main dialog runs, its posted Select Port with the default grabber name.
    std::string grabberSeen;
    host.connectionScript = [&](app::CMorvatDlg& dialog) { grabberSeen = dialog.grabberDll; };
    EXPECT_FALSE(startApp(""));
    EXPECT_EQ(host.mainDialogs, 1);
    EXPECT_EQ(host.connectionDialogs, 1);
    EXPECT_EQ(grabberSeen, "clserme4.dll");
    EXPECT_EQ(application.mainDialogResult, 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// -R<file> records the run's camera exchanges: the links made meanwhile get the recorder, the
// file starts with the header of the connection asked for; an existing file is kept and only
// warned about, and the run goes on unrecorded.
TEST_F(ProgLogTest, RecordingOptionWritesItsHeaderAndAnExistingFileOnlyWarns) {
    const std::string recording = folder.path("field-run.jsonl");
    bool attached = false;
    host.connectionScript = [&](app::CMorvatDlg&) { attached = factory.recorder != nullptr; };
    EXPECT_FALSE(startApp("-T2 -R" + recording + " -B1"));
    EXPECT_TRUE(attached);
    EXPECT_EQ(factory.recorder, nullptr);
    std::ifstream in(recording);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header.rfind("{\"ev\":\"header\",\"ms\":0,\"program\":\"kelvoflash\",\"version\":\"", 0),
              0u)
        << header;
    EXPECT_NE(header.find("\"interface\":\"camlink\",\"port\":1,\"device\":\"\",\"grabber\":"
                          "\"clserme4.dll\",\"rates\":[9600],\"start\":\""),
              std::string::npos)
        << header;

    std::ofstream(recording, std::ios::trunc) << "kept\n";
    attached = true;
    const size_t boxes = host.boxes.size();
    const int dialogs = host.mainDialogs;
    EXPECT_FALSE(startApp("-R" + recording));
    EXPECT_FALSE(attached);
    ASSERT_GT(host.boxes.size(), boxes);
    EXPECT_EQ(host.boxes[boxes].text, "cannot create the recording " + recording + ": File exists\n");
    EXPECT_EQ(host.boxes[boxes].icon, app::BoxIcon::Warning);
    EXPECT_EQ(host.mainDialogs, dialogs + 1);
    std::ifstream again(recording);
    std::string kept;
    std::getline(again, kept);
    EXPECT_EQ(kept, "kept");
}

}  // namespace
