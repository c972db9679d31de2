#pragma once
// The programmer's camera link: one object per connection, owned by the dialog that holds it.
// CComUpdate drives a PC serial port, CCamLinkUpdate the serial interface library.

#include <array>
#include <cstdint>
#include <functional>

#include "programmer/camera/session_recorder.h"
#include "protocol/error_codes.h"
#include "programmer/camera/call_runner.h"
#include "programmer/camera/wait_host.h"

namespace camera {

using protocol::ErrorCode;

class CCamUpdate {
public:
    virtual ~CCamUpdate() = default;

    virtual ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply,
                              uint32_t capacity, uint32_t timeoutMs) = 0;
    virtual ErrorCode Open(int port) = 0;
    virtual ErrorCode Close() = 0;
    // Discards what the camera sent meanwhile; called by the wait loops between their cycles,
    // so it returns at once also while the camera keeps sending.
    virtual ErrorCode FlushInput() = 0;
    virtual ErrorCode Reboot(WaitHost& host) = 0;
    virtual ErrorCode PrepareTransfer(int /*device*/) { return 0; }
    virtual ErrorCode FinishTransfer(int /*device*/) { return 0; }
    virtual ErrorCode SetBaudRate(uint32_t /*rate*/) { return 0; }

    ErrorCode WaitForCamera(WaitHost& host, uint32_t timeoutMs);
    // GET_CAMERA_TYPE on an open link into `cameraType` (kept when the camera does not answer).
    ErrorCode ReadCameraType();
    ErrorCode PollCamera(WaitHost& host);

    // State kept about the camera (see the fields' comments for their values before a connection).
    char statusText[200] = {};         // scratch text for waits and the OPEN_DAVEN error
    uint32_t serialNumber = 0;         // 0x87654321 in boot mode
    int connected = 0;
    int bootMode = 0;
    int port = -1;                     // port or board value of the last identification
    int interfaceType = -1;            // 0 COM port, 2 Camera Link
    int linkWord = -1;                 // u16 at offset 20 of GET_CAMERA_TYPE; 1: longer reboot
    char grabberDll[20] = {};          // frame grabber serial library name for the library's open
    uint8_t cameraDescription[40] = {};
    uint16_t cameraType = 0;

    bool emergencyMode = false;        // told at construction by the dialogs
    // Attached by the camera factory when a recording was asked for; the links report every
    // telegram and their opens, closes, flushes, reboots and rate changes to it.
    SessionRecorder* recorder = nullptr;

    // The runner of the link's blocking calls; null runs them on the caller's thread.
    void setCallRunner(CallRunner* runner) { runner_ = runner; }

protected:
    // Runs one blocking call of the link through the runner, if it has one.
    ErrorCode blocking(const std::function<ErrorCode()>& call);
    // GET_CAMERA_TYPE after the link found a camera at `portValue`: records its serial number and
    // link word, or boot mode when it reports a bootloader type or does not answer this question.
    // True for a camera that runs its firmware.
    bool identifyCamera(int portValue);
    // No camera, or the link is closed: nothing learnt before holds any more.
    void markUnconnected();

private:
    CallRunner* runner_ = nullptr;
};

// Spinner character of a wait cycle: "-/|\\-/|\\"[counter % 8].
char spinnerChar(int counter);

}  // namespace camera
