// The lines a run of several cameras shows: what each child's event makes of the camera's state
// and plain line, and the terminal line that must fit however narrow the terminal is.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "programmer/cli/camera_lines.h"

namespace {

using nlohmann::json;

struct EventCase {
    const char* event;
    std::string line;    // the plain line it shows
    std::string device;  // the state after it
    std::string activity;
    int percent;
};

TEST(CameraLines, EventsGiveThePlainLinesAndTheState) {
    const EventCase cases[] = {
        {R"({"event":"camera","connected":false,"serial":null})", "no camera answered", "",
         "connecting", 0},
        {R"({"event":"camera","connected":true,"serial":4321,"type":"0x0400"})",
         "camera serial 4321, type 0x0400", "", "connected", 0},
        {R"({"event":"plan","dryRun":true,"device":"PLL","from":"004 V01.00","to":"004 V01.01"})",
         "Would program PLL: 004 V01.00 -> 004 V01.01", "", "connected", 0},
        {R"({"event":"estimate","seconds":75})", "Estimated duration: about 1:15", "", "connected",
         0},
        {R"({"event":"started","device":"PLL"})", "PLL: started", "PLL", "started", 0},
        {R"({"event":"phase","device":"PLL","phase":"write"})", "PLL: writing", "PLL", "writing",
         0},
        // Plain lines come in 10 % steps only.
        {R"({"event":"progress","device":"PLL","percent":9})", "", "PLL", "writing", 9},
        {R"({"event":"progress","device":"PLL","percent":47})", "PLL: 40%", "PLL", "writing", 47},
        {R"({"event":"failed","device":"PLL","error":"0x80003013"})",
         "PLL: FAILED (error 0x80003013)", "", "FAILED", 47},
        {R"({"event":"summary","ok":false,"devices":[{"device":"PLL","result":"failed",)"
         R"("cameraReports":null}],"commands":["kelvoflash-cli program a.qup --port 1"]})",
         "Summary: FAILED: PLL failed", "", "FAILED", 47},
        {R"({"event":"interrupted","immediate":false,"command":null})",
         "stopped: nothing is left to do", "", "stopped", 47},
        {R"({"event":"message","text":"shown on standard error"})", "", "", "stopped", 47},
    };
    cli::CameraState camera;
    camera.port = "1";
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.event);
        EXPECT_EQ(camera.apply(json::parse(c.event), 0), c.line);
        EXPECT_EQ(camera.device, c.device);
        EXPECT_EQ(camera.activity, c.activity);
        EXPECT_EQ(camera.percent, c.percent);
    }
    EXPECT_EQ(camera.serial, 4321);
    // The summary's command went before the stop said nothing is left.
    EXPECT_TRUE(camera.commands.empty());
}

struct LineCase {
    const char* name;
    std::string port;
    std::string device;
    std::string activity;
    int percent;
    bool ended;
    int status;
    int columns;
    std::string line;
};

TEST(CameraLines, TerminalLinesFitTheWidthAndKeepTheirEnd) {
    const std::string longPort = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00";
    const LineCase cases[] = {
        {"BarAtEighty", "/dev/ttyUSB0", "Main FPGA", "writing", 50, false, 0, 80,
         "/dev/ttyUSB0 4321 Main FPGA [###############...............] 50% 1:00 left"},
        {"BarShrinksAtSixty", "/dev/ttyUSB0", "Main FPGA", "writing", 50, false, 0, 60,
         "/dev/ttyUSB0 4321 Main FPGA [#######........] 50% 1:00 left"},
        // A long port keeps its end; the serial number and device stay.
        {"LongPortGivesWay", longPort, "Main \u00b5P", "reading", 100, false, 0, 60,
         "\u2026_FT232R_USB_UART_A50285BI-if00 4321 Main \u00b5P 100% 1:00 left"},
        {"RebootWithoutBar", "3", "PLL", "rebooting", 100, false, 0, 60,
         "3 4321 PLL rebooting 1:00 left"},
        {"EndedFailed", longPort, "", "FAILED", 0, true, 1, 60,
         "\u2026_FT232R_USB_UART_A50285BI-if00 4321 FAILED (exit status 1)"},
        {"NarrowestTerminal", "/dev/ttyUSB0", "Head FPGA", "writing", 10, false, 0, 20,
         "/dev/ 10% 1:00 left"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        cli::CameraState camera;
        camera.port = c.port;
        camera.serial = 4321;
        camera.device = c.device;
        camera.activity = c.activity;
        camera.percent = c.percent;
        camera.ended = c.ended;
        camera.status = c.status;
        camera.estimateSeconds = 90;
        camera.estimateAt = 0;
        const std::string line = cli::cameraLine(camera, c.columns, 30000);
        EXPECT_EQ(line, c.line);
        EXPECT_LE(cli::characters(line), size_t(std::max(c.columns, 20) - 1));
    }
}

}  // namespace
