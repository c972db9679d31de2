#include "programmer/app/command_line.h"

#include <gtest/gtest.h>

namespace {

using app::StartOptions;

StartOptions parse(const std::string& line, app::CommandLineRequest* request = nullptr) {
    StartOptions options;
    app::CommandLineRequest result = app::ParseCommandLine(line, options);
    if (request)
        *request = result;
    return options;
}

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

TEST(CommandLine, ArgumentsAfterTheProgramNameAndTheirDefaults) {
    const char* argv[] = {"/usr/bin/kelvoflash", "-L", "-B3", "-T2"};
    EXPECT_EQ(app::ArgumentsAfterProgramName(4, argv), "-L -B3 -T2");
    EXPECT_EQ(app::ArgumentsAfterProgramName(1, argv), "");
    app::CommandLineRequest request;
    StartOptions options = parse("-L -B3 -T2", &request);
    EXPECT_TRUE(request.openLog);
    EXPECT_EQ(options.portNumber, 3);
    EXPECT_EQ(options.interfaceType, 2);
    options = parse("", &request);
    EXPECT_EQ(options.grabberDll, "clserme4.dll");
    EXPECT_FALSE(options.emergencyMode || options.connectWithoutDialog || request.openLog ||
                 request.helpRequested);
    EXPECT_EQ(app::UsageText().rfind("usage: \n -E\t\t: emergency mode\n -L\t\t: logging", 0), 0u);
}

TEST(CommandLine, NumbersOutOfRangeOrMalformedBecomeZeroFlagsInAnyCase) {
    EXPECT_EQ(parse("-b9").portNumber, 0);
    EXPECT_EQ(parse("-B8").portNumber, 8);
    EXPECT_EQ(parse("-T4").interfaceType, 0);
    EXPECT_EQ(parse("-p2").packetMode, 2);
    EXPECT_EQ(parse("-Bx").portNumber, 0);
    EXPECT_EQ(parse("-B99999999999999999999").portNumber, 0);  // no overflow
    EXPECT_EQ(parse("-B4 -B2").portNumber, 2);                 // the later one wins
    // A negative number is zero, and its sign an ignored option.
    const StartOptions options = parse("-B-1 -E");
    EXPECT_EQ(options.portNumber, 0);
    EXPECT_TRUE(options.emergencyMode);
    EXPECT_TRUE(parse("-sx").connectWithoutDialog);
    EXPECT_FALSE(parse("E S text without dashes").emergencyMode);
    app::CommandLineRequest request;
    EXPECT_TRUE(parse("-L-e", &request).emergencyMode);
    EXPECT_TRUE(request.openLog);
}

TEST(CommandLine, QuestionMarkAnywhereAppliesNothingButHelpOptionAppliesTheOthers) {
    app::CommandLineRequest request;
    StartOptions options = parse("-L -E -B3 -Nmy?.dll", &request);
    EXPECT_TRUE(request.helpRequested);
    EXPECT_FALSE(request.openLog || options.emergencyMode);
    EXPECT_EQ(options.portNumber, 0);
    EXPECT_EQ(options.grabberDll, "clserme4.dll");
    options = parse("-H -L -B2", &request);
    EXPECT_TRUE(request.helpRequested && request.openLog);
    EXPECT_EQ(options.portNumber, 2);
}

TEST(CommandLine, GrabberNameRunsToTheNextDashOrTheEnd) {
    StartOptions options = parse("-Nclsermy.dll -S");
    EXPECT_EQ(options.grabberDll, "clsermy.dll ");
    EXPECT_TRUE(options.connectWithoutDialog);
    // The name's letters are not options: "l" and "e" in it change nothing.
    app::CommandLineRequest request;
    options = parse("-Nlel.dll", &request);
    EXPECT_EQ(options.grabberDll, "lel.dll");
    EXPECT_FALSE(request.openLog || options.emergencyMode);
    options = parse("-N" + std::string(50, 'x') + "-E");
    EXPECT_EQ(options.grabberDll, std::string(40, 'x'));
    EXPECT_TRUE(options.emergencyMode);
}

}  // namespace
