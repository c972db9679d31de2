#include "programmer/app/verify_devices.h"

#include "programmer/camera/device_backup.h"

namespace app {

namespace {

RunEnd readAndCompare(ProgDlg& dialog, const std::vector<uint8_t>& bytes,
                      const files::UpdateFileReadResult& file, const std::vector<int>& rows,
                      std::array<DeviceComparison, kRowCount>& comparisons) {
    RowProgress progress(dialog);
    const ReadRunTexts texts{"Verifying: Reading %s Flash",
                             "Verify: Error Open Device!\nPlease contact QEL AG!\n"};
    return ReadDevicesOneByOne(dialog, rows, texts, [&](int row) -> protocol::ErrorCode {
        const files::UpdateFileDevice& device = file.devices[size_t(row)];
        const files::DeviceRecordHeader& header = device.header;
        if (!device.present || header.dataLength == 0 ||
            device.dataOffset + header.dataLength > bytes.size())
            return camera::kErrBadDeviceRequest;
        std::vector<uint8_t> data;
        const protocol::ErrorCode result = camera::ReadRegion(
            *dialog.link(), row, camera::BackupAddress(row, header.startOffset, 0),
            header.dataLength, data, progress, dialog.waitHost());
        if (result != 0)
            return result;
        DeviceComparison& comparison = comparisons[size_t(row)];
        comparison.compared = true;
        const uint8_t* image = bytes.data() + device.dataOffset;
        for (uint32_t i = 0; i < header.dataLength; ++i) {
            if (data[i] == image[i])
                continue;
            if (comparison.differing++ == 0)
                comparison.firstDifference = camera::BackupAddress(row, header.startOffset, i);
        }
        // A device unlike its image gets the red row of a failed one.
        return comparison.differing == 0 ? 0 : camera::kErrReadBackMismatch;
    });
}

}  // namespace

RunEnd VerifyDevices(ProgDlg& dialog, const std::vector<uint8_t>& bytes,
                     const files::UpdateFileReadResult& file, const std::vector<int>& rows,
                     std::array<DeviceComparison, kRowCount>& comparisons, const RunHooks& hooks) {
    comparisons.fill(DeviceComparison{});
    RunEnd end = RunEnd::kCompleted;
    dialog.RunWithHooks(hooks,
                        [&] { end = readAndCompare(dialog, bytes, file, rows, comparisons); });
    return end;
}

}  // namespace app
