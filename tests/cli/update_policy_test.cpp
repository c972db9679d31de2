// The update policy over five devices: what the load offers and chooses, whether it refuses the
// file, and the reason the console gives for each device that refused it.

#include <gtest/gtest.h>

#include "programmer/app/update_policy.h"
#include "programmer/cli/program_plan.h"

namespace {

using app::ReportedDevice;
using app::Refusal;

ReportedDevice cam(int variant, int major, int minor) { return {variant, major * 256 + minor}; }
const ReportedDevice kNone{};  // not reported
std::optional<files::VersionBlock> file(int variant, int major, int minor) {
    files::VersionBlock block;
    block.variant = uint16_t(variant);
    block.versionMajor = uint8_t(major);
    block.versionMinor = uint8_t(minor);
    return block;
}
const std::optional<files::VersionBlock> kAbsent;

struct Case {
    const char* name;
    std::array<ReportedDevice, 5> camera;
    app::FileVersions file;
    bool emergency;
    // Per device, the reason ('-' not in the file, 'N' newer, 'U' up to date, 'V' other variant,
    // 'D' older), then '1' where the check box may be chosen, then '1' where the load chooses it.
    const char* decided;
    Refusal refusal;
    bool upToDate;
    std::vector<std::string> texts;  // the console's reasons, device by device
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const ReportedDevice k100 = cam(4, 1, 0);
const std::string kOlder = "the camera has 004 V01.00, the file the older 004 V00.09; "
                           "--emergency programs an older version.";

const Case kCases[] = {
    {"newer everywhere, unreported devices count as newer", {k100, k100, k100, kNone, kNone},
     {file(4, 1, 1), file(4, 1, 1), file(4, 2, 0), file(4, 0, 1), file(4, 0, 1)}, false,
     "NNNNN 11111 11111", Refusal::kNone, false, {}},
    {"same versions: offered, nothing chosen, up to date", {k100, k100, k100, k100, k100},
     {file(4, 1, 0), file(4, 1, 0), kAbsent, file(4, 1, 0), kAbsent}, false, "UU-U- 11010 00000",
     Refusal::kNone, true, {}},
    {"one newer device is not up to date", {k100, k100, k100, k100, k100},
     {file(4, 1, 0), file(4, 1, 1), kAbsent, kAbsent, kAbsent}, false, "UN--- 11000 01000",
     Refusal::kNone, false, {}},
    {"an older device refuses the file and every later one is not offered",
     {k100, k100, k100, k100, k100},
     {file(4, 1, 1), file(4, 0, 9), file(4, 1, 1), kAbsent, file(4, 1, 0)}, false,
     "NDN-U 10000 00000", Refusal::kDowngrade, false, {"Main FPGA: " + kOlder}},
    {"one minor version older is already a downgrade", {cam(4, 1, 1), k100, k100, k100, k100},
     {file(4, 1, 0), kAbsent, kAbsent, kAbsent, kAbsent}, false, "D---- 00000 00000",
     Refusal::kDowngrade, false,
     {"Main \u00b5P: the camera has 004 V01.01, the file the older 004 V01.00; --emergency "
      "programs an older version."}},
    {"another variant refuses the file, shown with all its digits", {k100, k100, k100, k100, kNone},
     {file(4, 1, 1), file(5647, 1, 1), file(4, 1, 1), file(4, 1, 1), file(7, 1, 1)}, false,
     "NVNNN 10111 00000", Refusal::kOtherVariant, false,
     {"Main FPGA: the camera has variant 004 (004 V01.00), the file variant 5647 (5647 V01.01); "
      "--emergency accepts another variant."}},
    {"another variant wins over an older version; each device names its own reason",
     {k100, cam(9, 2, 0), k100, k100, k100},
     {file(4, 0, 9), file(4, 1, 0), file(4, 0, 9), kAbsent, kAbsent}, false, "DVD-- 00000 00000",
     Refusal::kOtherVariant, false,
     {"Main \u00b5P: " + kOlder,
      "Main FPGA: the camera has variant 009 (009 V02.00), the file variant 004 (004 V01.00); "
      "--emergency accepts another variant.",
      "EEPROM: " + kOlder}},
    {"a camera variant of 0 or 0xFFFF says nothing about the variant",
     {cam(0, 1, 0), cam(0xFFFF, 1, 0), k100, k100, k100},
     {file(3, 1, 1), file(3, 1, 1), kAbsent, kAbsent, kAbsent}, false, "NN--- 11000 11000",
     Refusal::kNone, false, {}},
    {"emergency: other variants and older versions are offered, nothing is chosen",
     {k100, k100, k100, kNone, k100},
     {file(5, 0, 9), file(4, 0, 9), file(4, 1, 1), file(4, 1, 0), file(4, 1, 0)}, true,
     "UUNNU 11111 00000", Refusal::kNone, false, {}},
    {"emergency: all older or the same counts as up to date", {k100, k100, k100, k100, k100},
     {file(4, 0, 9), kAbsent, kAbsent, kAbsent, file(4, 1, 0)}, true, "U---U 10001 00000",
     Refusal::kNone, true, {}},
};

class UpdatePolicy : public ::testing::TestWithParam<Case> {};

TEST_P(UpdatePolicy, DecidesEachDeviceAndExplainsTheRefusal) {
    const Case& c = GetParam();
    SCOPED_TRACE(c.name);
    const app::UpdateDecision decision = app::DecideUpdate(c.camera, c.file, c.emergency);
    std::string reasons, offered, checked;
    std::vector<std::string> texts;
    for (int row = 0; row < 5; ++row) {
        const app::DeviceDecision& device = decision.devices[size_t(row)];
        reasons += "-NUVD"[int(device.reason)];
        offered += device.offered ? '1' : '0';
        checked += device.checked ? '1' : '0';
        if (const std::string text = cli::refusalText(row, device); !text.empty())
            texts.push_back(text);
    }
    EXPECT_EQ(reasons + " " + offered + " " + checked, c.decided);
    EXPECT_EQ(decision.refusal, c.refusal);
    EXPECT_EQ(decision.upToDate, c.upToDate);
    EXPECT_EQ(texts, c.texts);
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdatePolicy, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
