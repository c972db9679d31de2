#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessiport/library_log.h"
#include "test_log.h"

namespace tessiport {
namespace {

struct ParamCase {
    const char* content;
    uint32_t logBits;  // after the read
    TransferParametersBlock block;
};

// Fields: baudrate, ClockFrequency, CCline, DataFormat, Transmit; 9600/0/0/1/0 when absent.
TEST(ParameterFile, KeysCommentsAndNumberForms) {
    const ParamCase cases[] = {
        {"logging=0x20003 // trace on\n", 0x20003, {}},
        {"LOGGING=65539\n", 0x10003, {}},
        {"CLCCLINE=12\n", 3, {9600, 0, 12, 1, 0}},
        {"CLCCLINE=0x1F\nCLTRANSMIT=0x3\n", 3, {9600, 0, 31, 1, 3}},
        {"clbaudrate=115200\r\nClClockFrequency=40000000\r\ncldataformat=2\r\nCLTRANSMIT=5\r\n",
         3,
         {115200, 40000000, 0, 2, 5}},
        {"// CLBAUDRATE=38400\nCLCCLINE=5\n", 3, {9600, 0, 5, 1, 0}},
        {"CLCCLINE=5 // CLBAUDRATE=38400\r\nCLDATAFORMAT=3\n", 3, {9600, 0, 5, 3, 0}},
        {"CLCCLINE=5 // CLBAUDRATE=38400", 3, {9600, 0, 5, 1, 0}},  // comment at the very end
        {"BOARD01_CLBAUDRATE=19200\n", 3, {19200, 0, 0, 1, 0}},
        {"CLBAUDRATE=57600\nBOARD01_CLBAUDRATE=19200\n", 3, {57600, 0, 0, 1, 0}},
        {"CLBAUDRATE=abc\nCLCLOCKFREQUENCY=99999999999\n", 3, {}},
    };
    for (const ParamCase& c : cases) {
        test::LogCapture log(3);
        const std::string folder = log.folder().path();
        test::writeText(folder + "/km4_cl_param.ini", c.content);
        usePaths(folder.c_str(), (folder + "/tessiport.log").c_str(),
                 (folder + "/km4_cl_param.ini").c_str());
        TransferParametersBlock block;
        EXPECT_EQ(get_param_file(&block), TP_OK) << c.content;
        EXPECT_EQ(logBits(), c.logBits) << c.content;
        const auto fields = [](const TransferParametersBlock& b) {
            return std::vector<uint32_t>{b.baudrate, b.ClockFrequency, b.CCline, b.DataFormat,
                                         b.Transmit};
        };
        EXPECT_EQ(fields(block), fields(c.block)) << c.content;
    }
}

TEST(ParameterFile, LogLinesAndMissingFile) {
    test::LogCapture log(0x10003);
    const std::string folder = log.folder().path();
    const std::string path = folder + "/km4_cl_param.ini";
    usePaths(folder.c_str(), (folder + "/tessiport.log").c_str(), path.c_str());
    EXPECT_EQ(get_param_file(nullptr), TP_ERR_PARAMETER_FILE);
    test::writeText(path, "CLCCLINE=7\nCLCCLINE=0x1F\nCLTRANSMIT=0x3\nCLDATAFORMAT=2\n");
    TransferParametersBlock block;
    EXPECT_EQ(get_param_file(&block), TP_OK);
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "get_param_file: open file " + path + " failed");
    EXPECT_EQ(lines[1].rfind("parameter file found cl_par 0x", 0), 0u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 2, lines.end()),
                testing::ElementsAre("get file Parameters for all Boards", "file CCline 7",
                                     "file CCline 31", "file DataFormat 2 ", "file Transmit 0 0x0",
                                     "file Transmit 3 0x3"));
}

}  // namespace
}  // namespace tessiport
