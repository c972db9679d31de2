#pragma once
// The camera link over the serial channel of a Camera Link frame grabber, reached through the
// serial interface library loaded at run time. Finds the camera's baud rate itself and raises the
// link speed for device transfers.

#include <cstdint>
#include <string>

#include "platform/dynamic_library.h"
#include "programmer/camera/cam_update.h"
#include "tessiport/include/tessiport.h"

namespace camera {

// What the programmer binds of the serial interface library, in the library's own layout.
namespace initmode {
constexpr uint32_t kBoardMask = INITMODE_BOARD_MASK;
constexpr uint32_t kOnlySerialInit = QEL_KM4_CL_ONLY_SERIAL_INIT;
constexpr uint32_t kDllName = INITMODE_DLL_NAME;
constexpr uint32_t kNoConnectionTest = INITMODE_NO_CONNECTION_TEST;
}  // namespace initmode
using ::KM4_OpenStruct;
using OpenCamExtFn = decltype(&::Open_Cam_Ext);
using OpenCamFn = decltype(&::Open_Cam);
using CloseCamFn = decltype(&::Close_Cam);
using ControlCommandFn = decltype(&::Control_Command);
using SetTimeoutsFn = decltype(&::Set_Timeouts);
using SetTransferParametersFn = decltype(&::Set_Transfer_Parameters);

class CCamLinkUpdate : public CCamUpdate {
public:
    // Loads the library (a Windows-style name is mapped to the platform's file name, a path is
    // used as it is) and binds its six exports; libraryReady() tells whether that worked.
    explicit CCamLinkUpdate(bool emergencyMode, const std::string& libraryName = "tessiport.dll");
    ~CCamLinkUpdate() override;
    CCamLinkUpdate(const CCamLinkUpdate&) = delete;
    CCamLinkUpdate& operator=(const CCamLinkUpdate&) = delete;

    bool libraryReady() const { return libraryReady_; }

    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override;
    // Opens frame grabber board `board`, finds the camera's baud rate and identifies the camera.
    ErrorCode Open(int board) override;
    ErrorCode Close() override;
    ErrorCode FlushInput() override { return 0; }
    ErrorCode Reboot(WaitHost& host) override;
    ErrorCode PrepareTransfer(int device) override;
    ErrorCode FinishTransfer(int device) override;
    ErrorCode SetBaudRate(uint32_t rate) override;

    uint32_t handle() const { return handle_; }

    // Firmware facts read at identification; versions are major * 256 + minor.
    uint16_t bootloaderVariant = 0;
    uint16_t bootloaderVersion = 0;
    uint16_t mainVariant = 0;
    uint16_t mainVersion = 0;
    int fastFpgaTransfer = 0;     // the Main FPGA may be written at the fast rate too
    uint32_t linkBaudRate = 0;    // camera's rate as last read by Open or SetBaudRate
    uint32_t transferBaudRate = 0;  // as last read by PrepareTransfer or FinishTransfer

private:
    ErrorCode openAndSearch(int board);
    ErrorCode readFirmwareFacts();
    // GET_CL_BAUDRATE; 9600 when the camera does not answer.
    uint32_t readCameraBaudRate();
    ErrorCode closeDeviceProbe();

    platform::DynamicLibrary library_;
    uint32_t handle_ = 0;
    OpenCamExtFn Open_Cam_Ext = nullptr;
    OpenCamFn Open_Cam = nullptr;
    CloseCamFn Close_Cam = nullptr;
    ControlCommandFn Control_Command = nullptr;
    SetTimeoutsFn Set_Timeouts = nullptr;
    SetTransferParametersFn Set_Transfer_Parameters = nullptr;
    bool libraryReady_ = false;
};

}  // namespace camera
