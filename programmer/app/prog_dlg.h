#pragma once
// The main programming dialog: its state, the services every flow on it uses, and its own flows
// (initialisation, Select Port, Reboot, Quit and close, the packet mode switch). The flows of
// loading, programming and packets are further methods, each in a source file of its own.
//
// Sources: prog_dlg.cpp (own flows), prog_dlg_controls.cpp (services), prog_dlg_camera_info.cpp
// (camera information and Reboot), prog_dlg_load_file.cpp (Load File), prog_dlg_program.cpp
// (Program and the programming run), prog_dlg_packet.cpp (Packet: backup and packet builder).

#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "programmer/app/camera_factory.h"
#include "programmer/app/dialog_model.h"
#include "programmer/app/host.h"
#include "programmer/app/packet_button.h"
#include "programmer/app/start_options.h"
#include "programmer/app/update_policy.h"
#include "programmer/camera/cam_update.h"
#include "programmer/camera/wait_host.h"
#include "programmer/files/loaded_update_file.h"
#include "programmer/files/signing_policy.h"
#include "protocol/error_codes.h"

namespace app {

constexpr const char* ProgramTitle = "kelvoflash v1.11";
constexpr const char* ProgramTitleEmergency = "kelvoflash v1.11 emergency";

// Status lines shown by several flows.
constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
constexpr const char* kConnectionLost =
    "Connection to Camera lost, select other port or close programmer";

using protocol::kErrDeviceNotReported;  // the run's result for a device not reported

// What the last programming run did with a device, for front ends that report per device (the
// console front end's exit code and event lines). `error` is the first failing result: not
// reported, open, erase, write loop, checksum step or close; for a head FPGA that could not be
// opened (the run then ends quietly) the result stays kNotRun and `error` holds the open's code.
// kRead: a backup or verify read the device completely.
enum class DeviceResult { kNotRun, kProgrammed, kFailed, kRead };
struct DeviceOutcome {
    DeviceResult result = DeviceResult::kNotRun;
    protocol::ErrorCode error = 0;
    // Failed after its flash was erased or written: whatever version it reports, it must be
    // programmed again.
    bool incomplete = false;
    // Programmed, and every block read back and matched or the camera's sum check passed.
    bool verified = false;
};

// Steps of one device in a programming run; a backup or verify reads instead of writing.
enum class RunPhase { kOpen, kErase, kWrite, kClose, kReboot, kRead };

// Optional listener of a programming run. Progress, row states and the status line reach the
// front end through Host::modelChanged/repaintNow; this adds the step boundaries and outcomes,
// which the model does not hold. Called on the flow's thread; must not call back into the dialog.
class ProgramRunObserver {
public:
    virtual ~ProgramRunObserver() = default;
    virtual void phaseStarted(int /*row*/, RunPhase /*phase*/) {}
    virtual void deviceFinished(int /*row*/, const DeviceOutcome& /*outcome*/) {}
    virtual void runFinished(bool /*result*/) {}
    // The status line now shows `text`; called before the model change that shows it.
    virtual void statusShown(const std::string& /*text*/) {}
};

// Listeners a front end hands over for one run over the devices.
struct RunHooks {
    ProgramRunObserver* observer = nullptr;  // not owned; may stay null
    // Asked at the run's safe points (before each device, so after the previous one was finished
    // and the camera rebooted); true ends the run there. May stay empty.
    std::function<bool()> stopRequested;
};

class ProgDlg {
public:
    ProgDlg(Host& host, CameraFactory& factory);
    ~ProgDlg();
    ProgDlg(const ProgDlg&) = delete;
    ProgDlg& operator=(const ProgDlg&) = delete;

    // ---- Events (the host calls these) ----
    void OnInitDialog();
    void OnSelectPort();  // button 1013
    void OnReboot();      // button 1005
    void OnLoadFile();    // button 1002
    void OnProgram();     // button 1003
    void OnPacket();      // button 1004
    void OnQuit();        // button 1 (also Enter): ends with 0
    void OnClose();       // window close: ends as cancelled
    void OnCancel();      // Escape: the same steps as closing the window
    // A handler threw half-way: the title and the controls as a flow leaves them when it ends.
    void AfterFailure();
    // Posted messages: WM_TOGGLE_PACKET_MODE goes to OnTogglePacketMode.
    void OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    intptr_t OnTogglePacketMode(uintptr_t wParam, intptr_t lParam);

    // ---- The flows for front ends that name files and devices instead of clicking ----
    // Files given here are not asked for; hooks are set for the one run only.
    // An update file may be loaded now (the camera information was read).
    bool CanLoadFile() const { return model.isEnabled(kIdLoadFile); }
    // Load File with `path`; true when the file was accepted.
    bool LoadFile(const std::string& path);
    // The signing policy every Load File judges files by, loaded by the front end (which shows
    // its warnings); not owned. Without one, each Load File reads it afresh and warns itself.
    void UseSigningPolicy(const files::SigningPolicy* policy) { signingPolicy_ = policy; }
    // How the last load decided each device (nothing in the file before the first).
    const UpdateDecision& LoadDecision() const { return loadDecision_; }
    // The device may be chosen now (its check box is enabled).
    bool IsDeviceOffered(int row) const { return model.isEnabled(checkBoxId(row)); }
    // Chooses exactly `rows`.
    void ChooseDevices(const std::vector<int>& rows);
    // Program on the chosen devices.
    void Program(const RunHooks& hooks);
    // Packet in device packet mode: reads the chosen devices into `file`.
    void Backup(const std::string& file, const RunHooks& hooks);
    // Packet in file packet mode: builds `file` from the device file of each chosen row.
    void Pack(const std::string& file, const std::array<std::string, kRowCount>& deviceFiles);
    // Runs `run`, a flow over the devices, with `hooks` set.
    void RunWithHooks(const RunHooks& hooks, const std::function<void()>& run);

    // ---- Services for the flows ----
    // Copies `statusText` into the status line.
    void ShowStatus();
    // Sets `statusText` to `text` and shows it.
    void ShowStatus(const std::string& text);
    void SetRowState(int row, uint32_t state);  // repaints at once
    void SetProgress(int row, int percent);     // 0..100
    void SetCurrentFwText(int row, const std::string& text);
    void SetLoadedFwText(int row, const std::string& text);
    bool IsDeviceChecked(int row) const;
    void EnableDevice(int row, bool on = true);
    void CheckDevice(int row, bool on = true);
    void DisableAllControls();
    void RefreshControls();
    void PumpMessages() { host_.pumpMessages(); }
    // Tells the host that the model changed.
    void Changed() { host_.modelChanged(model); }
    // The status line as the camera link's waits see it.
    camera::WaitHost& waitHost() { return waitHost_; }
    Host& host() { return host_; }
    CameraFactory& factory() { return factory_; }
    // A camera link exists and has found a camera.
    bool cameraConnected() const { return camera && camera->connected; }

    // ---- Camera information and reboot ----
    bool ReadCameraInfo();
    // The Reboot flow (button Reboot, and after each programmed device); false when the camera
    // did not come back.
    bool RebootCamera();
    // What the last ReadCameraInfo learnt beyond the rows; nothing where the camera did not tell.
    struct HardwareBoard {
        std::string name;
        uint16_t codeA = 0;
        uint16_t codeB = 0;
    };
    // The device's firmware record as the camera last reported it, as a version block without
    // a time stamp; nothing when the camera did not report the device.
    std::optional<files::VersionBlock> ReportedVersion(int row) const;

    // ---- Programming run ----
    // Programs the checked devices from the loaded file, rebooting after each. False after an
    // open failure (rows 0-3), an erase failure, or a camera that did not come back after a
    // reboot; true otherwise. The outcomes are in DeviceResults().
    bool ProgramSelectedDevices();

    // ---- Packet ----
    // Device packet mode: reads the checked devices into a backup update file. 0 when it was
    // written or the user kept an existing file; -1 otherwise (nothing written then).
    int CreateBackup();
    // File packet mode: builds an update file from one device file per checked device. 0 when it
    // was written or the user cancelled; -1 otherwise (nothing written then).
    int CreatePacketFromFiles();

    // ---- What the dialog knows, for front ends to show; only the flows change it ----
    const DialogModel& Model() const { return model; }
    // The start options; set before OnInitDialog.
    const StartOptions& Options() const { return options; }
    void SetOptions(const StartOptions& start) { options = start; }
    // The camera link the flows use; null before a connection.
    camera::CCamUpdate* link() { return camera.get(); }
    const camera::CCamUpdate* link() const { return camera.get(); }
    // The answer of the last ReadCameraInfo (false before the first), and what it read.
    bool CameraInfoResult() const { return lastCameraInfoResult; }
    const std::optional<uint16_t>& CameraTypeRead() const { return cameraTypeRead; }
    const std::optional<std::vector<HardwareBoard>>& HardwareBoards() const {
        return hardwareBoards;
    }
    bool DeviceAvailable(int row) const { return deviceAvailable[size_t(row)]; }
    // The camera's variant (0xFFFF: not reported) and version (-1: not reported) of a device.
    int CameraVariant(int row) const { return cameraVariant[size_t(row)]; }
    int CameraVersion(int row) const { return cameraVersion[size_t(row)]; }
    const files::LoadedUpdateFile& Loaded() const { return loaded; }
    // Per device, what the last programming run, backup or verify did (all kNotRun before the
    // first).
    const std::array<DeviceOutcome, kRowCount>& DeviceResults() const { return deviceResults; }
    // The camera's versions in the dialog were read after the last device the run touched (false
    // when the camera did not come back or could not be read).
    bool VersionsReadAfterRun() const { return versionsReadAfterRun; }
    // The last programming run or backup ended at a safe point because its stop request said so.
    bool RunStopped() const { return runStopped; }
    // Why the last direct connection found no camera (empty after a success).
    const ConnectionCause& NoCameraCause() const { return connectionCause; }
    // The file the last packet run named, and whether it wrote it.
    const std::string& PacketFileName() const { return packetFileName; }
    bool PacketFileWritten() const { return packetFileWritten; }
    // The text the status line shows now: what the last flow ended with.
    const std::string& StatusShown() const { return statusShown; }
    // The Packet button's right click (switches the packet mode).
    void OnPacketRightClick() { packetButton.OnRButtonUp(); }

private:
    friend class DeviceRun;
    // The dialog's tests set up states no front end can reach (a link handed over directly, a
    // run under way, versions a camera reported).
    friend struct ProgDlgTestAccess;
    // The programming run and its device body (prog_dlg_program.cpp).
    class ProgramRun;
    class ProgramBody;

    DialogModel model;
    StartOptions options;
    std::unique_ptr<camera::CCamUpdate> camera;
    std::string statusText;
    std::string statusShown;  // set where the status line is set, and only there
    bool lastCameraInfoResult = false;
    std::optional<uint16_t> cameraTypeRead;
    std::optional<std::vector<HardwareBoard>> hardwareBoards;
    std::array<bool, kRowCount> deviceAvailable{};
    std::array<int, kRowCount> cameraVariant{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    std::array<int, kRowCount> cameraVersion{-1, -1, -1, -1, -1};
    files::LoadedUpdateFile loaded;
    // Set by the programming run while it runs; ReadCameraInfo then keeps the per-device state.
    bool programmingRun = false;
    CPacket packetButton;
    std::array<DeviceOutcome, kRowCount> deviceResults{};
    bool versionsReadAfterRun = false;
    // The hooks of the run under way; set through RunWithHooks.
    RunHooks runHooks;
    bool runStopped = false;
    ConnectionCause connectionCause;
    std::string packetFileName;
    bool packetFileWritten = false;
    // The status a failed packet run ends with instead of the usual one (empty: the usual one).
    std::string packetError;

    class StatusLineWaitHost : public camera::WaitHost {
    public:
        explicit StatusLineWaitHost(ProgDlg& dialog) : dialog_(dialog) {}
        void showStatus(const std::string& text) override;
        void pumpMessages() override { dialog_.host_.pumpMessages(); }
        platform::Clock& clock() override { return dialog_.host_.clock(); }

    private:
        ProgDlg& dialog_;
    };

    // Keeps every button and check box disabled while a flow pumps messages, and restores them.
    class ControlsLock {
    public:
        explicit ControlsLock(ProgDlg& dialog);
        ~ControlsLock();

    private:
        ProgDlg& dialog_;
        std::array<bool, 6 + kRowCount> enabled_{};
    };

    // File names a front end gave for the flow under way instead of file dialogs; `output` set
    // means named (a device file left empty then reads as cancelled).
    struct NamedFiles {
        std::optional<std::string> output;
        std::array<std::optional<std::string>, kRowCount> devices;
    };

    void ClearLoad();
    void LoadFileSteps(const std::string& path);
    // The file a packet run writes, and the device file of `row` for a packet from files: the
    // names given, else the host's file dialogs answer.
    std::optional<std::string> AskOutputFile();
    std::optional<std::string> AskDeviceFile(int row);
    bool ReadCameraInfoSteps();
    void ConnectDirectly();
    void EnableAfterConnection(bool afterSelectPort);
    void CloseCamera();
    void ReleaseOnEnd();
    void EndDialog(int result);
    bool ReadHardwareRecords(uint16_t cameraType, bool& result);
    bool ReadFirmwareRecords(uint16_t cameraType, bool& result);
    void DisableButtonsAndChecks();

    Host& host_;
    CameraFactory& factory_;
    StatusLineWaitHost waitHost_;
    UpdateDecision loadDecision_;
    NamedFiles namedFiles_;
    const files::SigningPolicy* signingPolicy_ = nullptr;
};

// Every button and check box of the main dialog.
constexpr std::array<int, 6> kMainButtons = {kIdProgram, kIdLoadFile, kIdQuit,
                                             kIdSelectPort, kIdReboot, kIdPacket};

}  // namespace app
