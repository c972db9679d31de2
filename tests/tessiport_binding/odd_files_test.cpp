// Names under which the library's files stand but that are no regular files: a FIFO (whose open
// would block the host), a folder, a device. Each is refused at once with the code for a file
// that cannot be opened, and left as it is.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>

#include "tessiport/library_log.h"
#include "test_log.h"

namespace tessiport {
namespace {

enum class Kind { Fifo, Folder, Device };

// Makes `path` an object of `kind`; a device is a link to /dev/null.
bool plant(const std::string& path, Kind kind) {
    switch (kind) {
    case Kind::Fifo:
        return ::mkfifo(path.c_str(), 0600) == 0;
    case Kind::Folder:
        return ::mkdir(path.c_str(), 0700) == 0;
    case Kind::Device:
        return ::symlink("/dev/null", path.c_str()) == 0;
    }
    return false;
}

bool stillPlanted(const std::string& path, Kind kind) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    switch (kind) {
    case Kind::Fifo:
        return S_ISFIFO(info.st_mode);
    case Kind::Folder:
        return S_ISDIR(info.st_mode);
    case Kind::Device:
        return S_ISCHR(info.st_mode);
    }
    return false;
}

// Runs `call` and gives it two seconds: a call blocked in a FIFO's open is released by opening
// the FIFO for writing, so the test fails instead of hanging.
uint32_t withinTwoSeconds(const std::string& path, const std::function<uint32_t()>& call) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
        ADD_FAILURE() << "still opening " << path << " after two seconds";
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    return done.get();
}

TEST(OddFiles, AreRefusedWithoutBlocking) {
    const struct {
        const char* name;
        Kind kind;
    } kinds[] = {{"FIFO", Kind::Fifo}, {"folder", Kind::Folder}, {"device", Kind::Device}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        {
            // The parameter file.
            test::LogCapture log(0x10003);
            const std::string folder = log.folder().path();
            const std::string path = folder + "/km4_cl_param.ini";
            ASSERT_TRUE(plant(path, kind.kind));
            usePaths(folder.c_str(), (folder + "/tessiport.log").c_str(), path.c_str());
            TransferParametersBlock block;
            EXPECT_EQ(withinTwoSeconds(path, [&] { return get_param_file(&block); }),
                      TP_ERR_PARAMETER_FILE);
            EXPECT_EQ(log.lines(),
                      std::vector<std::string>{"get_param_file: open file " + path + " failed"});
            EXPECT_TRUE(stillPlanted(path, kind.kind));
        }
        {
            // The log file a host names.
            tools::TempFolder folder;
            const std::string path = folder.path("host.log");
            ASSERT_TRUE(plant(path, kind.kind));
            EXPECT_EQ(withinTwoSeconds(path, [&] { return Enable_Message_Log(3, path.c_str()); }),
                      TP_ERR_MISSING_FUNCTION);
            EXPECT_FALSE(logFileIsOpen());
            EXPECT_TRUE(stillPlanted(path, kind.kind));
        }
        {
            // The log file in the data folder, opened at attach when it exists.
            tools::TempFolder scratch;
            const std::string dir = scratch.path("qel");
            ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
            ASSERT_TRUE(plant(dir + "/tessiport.log", kind.kind));
            ::setenv("QEL_DATA_DIR", dir.c_str(), 1);
            char folder[kLibraryPathLength] = {}, logPath[kLibraryPathLength] = {},
                 paramPath[kLibraryPathLength] = {};
            withinTwoSeconds(dir + "/tessiport.log", [&] {
                setUpLog(folder, logPath, paramPath);
                return 0u;
            });
            EXPECT_FALSE(logFileIsOpen());
            EXPECT_TRUE(stillPlanted(dir + "/tessiport.log", kind.kind));
            ::unsetenv("QEL_DATA_DIR");
            endLog();
        }
    }
}

}  // namespace
}  // namespace tessiport
