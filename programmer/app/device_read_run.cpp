#include "programmer/app/device_read_run.h"

#include <cstdio>

#include "programmer/camera/wait_cycle.h"

namespace app {

namespace {

constexpr int kRowMainUp = 0;
constexpr uint32_t kAfterCloseMs = 200;
constexpr uint32_t kMainUpAnswerMs = 2000;

class ReadBody : public DeviceBody {
public:
    ReadBody(ProgDlg& dialog, const ReadRunTexts& texts, const OpenDeviceReader& read)
        : DeviceBody({camera::kOpenAttemptsBackup, texts.openFailed, true, true}),
          dialog_(dialog),
          reading_(texts.reading),
          read_(read) {}

    Step work(DeviceRun& run, int row) override {
        dialog_.SetRowState(row, ROW_ACTIVE);
        char status[128];
        std::snprintf(status, sizeof status, reading_, RowLabel(dialog_, row).c_str());
        dialog_.ShowStatus(status);
        run.phase(row, RunPhase::kRead);
        const protocol::ErrorCode result = read_(row);
        if (result == 0)
            run.succeed(row, DeviceResult::kRead);
        else
            run.fail(row, result);
        return {};
    }
    // After the Main uP was closed the camera must answer again before it is rebooted.
    Step closed(int row) override {
        camera::waitPumping(dialog_.waitHost(), platform::Milliseconds(kAfterCloseMs));
        if (row == kRowMainUp &&
            dialog_.link()->WaitForCamera(dialog_.waitHost(), kMainUpAnswerMs) != 0)
            return {RunEnd::kCameraSilent, "Cannot open device! Programmer quits update!\n"};
        return {};
    }

private:
    ProgDlg& dialog_;
    const char* reading_;
    const OpenDeviceReader& read_;
};

}  // namespace

RunEnd ReadDevicesOneByOne(ProgDlg& dialog, const std::vector<int>& rows,
                           const ReadRunTexts& texts, const OpenDeviceReader& read) {
    ReadBody body(dialog, texts, read);
    DeviceRun run(dialog, body);
    const RunEnd end = run.run(rows);
    if (end == RunEnd::kCompleted && dialog.link() && !rows.empty()) {
        dialog.link()->FinishTransfer(rows.back());
        // Its result does not change what was read; a failure leaves its text in the link.
        camera::CheckDaven(*dialog.link());
    }
    // The run succeeded only when every chosen device was read completely.
    bool allRead = end == RunEnd::kCompleted;
    for (const int row : rows)
        allRead = allRead && dialog.DeviceResults()[size_t(row)].result == DeviceResult::kRead;
    run.finished(allRead);
    return end;
}

}  // namespace app
