// The camera information read (type, hardware boards, firmware records and their pages) with
// replies taken one after the other from the input: no read outside a reply, and a row shows a
// version only when a record in a reply that carried it named the row.

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_camera.h"
#include "platform/clock.h"
#include "programmer/app/camera_factory.h"
#include "programmer/app/cmorvat_dlg.h"
#include "programmer/app/host.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/commands.h"
#include "protocol/telegram.h"
#include "tests/support/prog_dlg_access.h"

namespace {

// Each reply: u16 length of what arrived, then those bytes; the input's end ends the replies.
class ReplayCamera : public fuzz::InputCamera {
public:
    ReplayCamera(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    camera::ErrorCode Command(const uint8_t* command, uint32_t, uint8_t* reply, uint32_t capacity,
                              uint32_t) override {
        if (size_ < 2) return protocol::kErrPortIo;
        const size_t length = std::min<size_t>(protocol::readU16(data_), size_ - 2);
        const std::vector<uint8_t> received(data_ + 2, data_ + 2 + length);
        data_ += 2 + length;
        size_ -= 2 + length;
        return answer(received, command, reply, capacity);
    }

private:
    const uint8_t* data_;
    size_t size_;
};

class SilentHost : public app::Host {
public:
    void messageBox(const std::string&, const std::string&, app::BoxIcon) override {}
    bool askYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> openFileDialog(const app::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFileDialog(const app::FileDialogRequest&) override {
        return std::nullopt;
    }
    void pumpMessages() override {}
    void repaintNow(const app::DialogModel&) override {}
    void modelChanged(const app::DialogModel&) override {}
    void post(std::function<void()>) override {}
    platform::Clock& clock() override { return clock_; }
    int runConnectionDialog(app::CMorvatDlg&) override { return 0; }
    int runMainDialog(app::ProgDlg&) override { return 0; }
    void showAboutBox(const std::string&, const std::string&) override {}

private:
    platform::VirtualClock clock_;
};

class NoFactory : public app::CameraFactory {
public:
    std::unique_ptr<camera::CCamUpdate> makeCom(bool) override { return nullptr; }
    std::unique_ptr<camera::CCamUpdate> makeCamLink(bool) override { return nullptr; }
    bool libraryReady(const camera::CCamUpdate&) const override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    SilentHost host;
    NoFactory factory;
    app::ProgDlg dialog{host, factory};
    dialog.SetOptions({.interfaceType = data[0] & 2, .emergencyMode = bool(data[0] & 1)});
    app::ProgDlgTestAccess::link(dialog) = std::make_unique<ReplayCamera>(data + 1, size - 1);
    dialog.ReadCameraInfo();
    for (int row = 0; row < app::kRowCount; ++row) {
        // A version comes only with the row's record, which also makes the row available.
        if (dialog.CameraVersion(row) >= 0 && !dialog.DeviceAvailable(row)) std::abort();
        if (dialog.CameraVersion(row) > 0xFFFF) std::abort();
    }
    return 0;
}
