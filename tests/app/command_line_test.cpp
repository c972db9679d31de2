#include "programmer/app/command_line.h"

#include <gtest/gtest.h>

namespace {

using app::StartOptions;

TEST(CommandLine, ArgumentsAfterExeOfAWindowsCommandLine) {
    const struct {
        const char* line;
        const char* arguments;
    } cases[] = {
        // Past "exe" and the closing quote: the blank stays, the scan looks for '-'.
        {"\"C:\\Program Files\\kelvoflash\\kelvoflash.exe\" -L -B3", " -L -B3"},
        {"kelvoflash.exe -T2", "-T2"},
        {"C:\\kelvoflash.exe", ""},           // ends in "exe": no options
        {"C:\\kelvoflash.exe ", ""},          // the blank after "exe" is skipped
        {"kelvoflash.exe -Nmy.exe -S", "-Nmy.exe -S"},  // the first "exe" counts
        {"kelvoflash -E -P2", "-E -P2"},        // no "exe": the first token goes
        {"\"C:\\my tools\\kelvoflash\" -E", "-E"},
        {"kelvoflash", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::ArgumentsAfterExe(c.line), c.arguments) << c.line;
}

TEST(CommandLine, ArgumentsAfterTheProgramNameAndUsage) {
    const char* argv[] = {"/usr/bin/kelvoflash", "-L", "-B3", "-T2"};
    EXPECT_EQ(app::ArgumentsAfterProgramName(4, argv), "-L -B3 -T2");
    EXPECT_EQ(app::ArgumentsAfterProgramName(1, argv), "");
    EXPECT_EQ(app::UsageText().rfind("usage: \n -E\t\t: emergency mode\n -L\t\t: logging", 0), 0u);
}

// Numbers out of range or malformed become zero; flags count in any case; a question mark anywhere
// applies nothing, but -H applies the others; a grabber name runs to the next dash or the end.
TEST(CommandLine, OptionsTheirRangesAndTheirDefaults) {
    const std::string x40(40, 'x');
    const struct {
        std::string line;
        int port, type, packet;
        const char* flags;  // E emergency, S without dialog, L log, H help
        std::string grabber;
    } cases[] = {
        {"", 0, 0, 0, "", "clserme4.dll"},
        {"-L -B3 -T2", 3, 2, 0, "L", "clserme4.dll"},
        {"-b9", 0, 0, 0, "", "clserme4.dll"},
        {"-B8", 8, 0, 0, "", "clserme4.dll"},
        {"-T4", 0, 0, 0, "", "clserme4.dll"},
        {"-p2", 0, 0, 2, "", "clserme4.dll"},
        {"-Bx", 0, 0, 0, "", "clserme4.dll"},
        {"-B99999999999999999999", 0, 0, 0, "", "clserme4.dll"},  // no overflow
        {"-B4 -B2", 2, 0, 0, "", "clserme4.dll"},                  // the later one wins
        {"-B-1 -E", 0, 0, 0, "E", "clserme4.dll"},  // negative: zero, its sign an ignored option
        {"-sx", 0, 0, 0, "S", "clserme4.dll"},
        {"E S text without dashes", 0, 0, 0, "", "clserme4.dll"},
        {"-L-e", 0, 0, 0, "EL", "clserme4.dll"},
        {"-L -E -B3 -Nmy?.dll", 0, 0, 0, "H", "clserme4.dll"},
        {"-H -L -B2", 2, 0, 0, "LH", "clserme4.dll"},
        {"-Nclsermy.dll -S", 0, 0, 0, "S", "clsermy.dll "},
        {"-Nlel.dll", 0, 0, 0, "", "lel.dll"},  // the name's letters are not options
        {"-N" + std::string(50, 'x') + "-E", 0, 0, 0, "E", x40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        StartOptions options;
        const app::CommandLineRequest request = app::ParseCommandLine(c.line, options);
        std::string flags;
        if (options.emergencyMode) flags += 'E';
        if (options.connectWithoutDialog) flags += 'S';
        if (request.openLog) flags += 'L';
        if (request.helpRequested) flags += 'H';
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(options.portNumber, c.port);
        EXPECT_EQ(options.interfaceType, c.type);
        EXPECT_EQ(options.packetMode, c.packet);
        EXPECT_EQ(options.grabberDll, c.grabber);
    }
}

}  // namespace

namespace {

// -R names the recording; the name may hold dashes and option letters and runs to the next
// option after a blank.
TEST(CommandLine, RecordingNameRunsToTheNextOption) {
    const struct {
        std::string line;
        const char* record;
        const char* flags;  // E emergency, S without dialog
        int type;
    } cases[] = {
        {"-S -T2 -Rfield-run.jsonl.gz", "field-run.jsonl.gz", "S", 2},
        {"-Rfield-E-S.jsonl -T2", "field-E-S.jsonl", "", 2},
        {"-r/tmp/a b.jsonl   -E", "/tmp/a b.jsonl", "E", 0},
        {"-R -S", "", "S", 0},
        {"-E", "", "E", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        StartOptions options;
        const app::CommandLineRequest request = app::ParseCommandLine(c.line, options);
        std::string flags;
        if (options.emergencyMode) flags += 'E';
        if (options.connectWithoutDialog) flags += 'S';
        EXPECT_EQ(request.recordPath, c.record);
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(options.interfaceType, c.type);
    }
}

}  // namespace
