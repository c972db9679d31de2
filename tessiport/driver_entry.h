#pragma once
// One open board of the library. The entry layout follows the order in which the library's
// routines fill it; function references are the bound serial functions of a frame grabber's Camera
// Link serial library or of the IMAQ library.

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/dynamic_library.h"
#include "protocol/com_transport.h"

namespace tessiport {

// Camera Link serial library functions, with the Camera Link standard's prototypes: the serial
// reference is a pointer, counts and time-outs are 32-bit unsigned, results 32-bit signed and
// negative on failure. The IMAQ read/write/flush functions are bound into the same slots.
using SerialRef = void*;
using ClSerialInitFn = int32_t (*)(uint32_t serialIndex, SerialRef* serialRef);
using ClSerialReadFn = int32_t (*)(SerialRef serialRef, char* buffer, uint32_t* count,
                                   uint32_t timeoutMs);
using ClSerialWriteFn = int32_t (*)(SerialRef serialRef, char* buffer, uint32_t* count,
                                    uint32_t timeoutMs);
using ClSerialCloseFn = void (*)(SerialRef serialRef);
using ClGetSupportedBaudRatesFn = int32_t (*)(SerialRef serialRef, uint32_t* baudRates);
using ClSetBaudRateFn = int32_t (*)(SerialRef serialRef, uint32_t baudRate);
using ClFlushPortFn = int32_t (*)(SerialRef serialRef);

constexpr int kLibraryPathLength = 260;
constexpr int kCameraInfoSize = 153;
constexpr int kDriverListSize = 10;

struct TransferParametersBlock {
    uint32_t baudrate = 9600;
    uint32_t ClockFrequency = 0;
    uint32_t CCline = 0;
    uint32_t DataFormat = 1;
    uint32_t Transmit = 0;
};

// The life of a taken entry (a free one has handle 0 and board -1):
//
//   free --reserve--> opening --open done--> open --last Close_Cam--> closing --> free
//                        |                                                ^
//                        +--------------- open failed --------------------+
//
// - opening: an Open_Cam_Ext owns it and binds the library and opens the channel. Nobody else
//   changes it. Once `channelReady` is set, transactions pass (the open's own set-up commands, or
//   another thread's on the same handle); every other call on it, and every other open of its
//   board or handle, waits until it is open or free again.
// - open: found by every call. A call that uses the channel counts itself in `inFlight` for as
//   long as it does, so the channel and its bound functions stay as they are until it is done.
// - closing: found by nobody; the closer waits (waitForEntryChange) until `inFlight` is 0, then closes
//   the channel, unloads the library and frees the entry.
// State, `inFlight`, `openCount`, the time-outs and the transfer parameters change only under
// driver_entry_crisec. Use of the channel itself (serialRef, the serial functions, the COM port)
// is serialised by `lineMutex`, never by driver_entry_crisec alone: a COM-port transaction and a
// rate change run without it. `linkMutex` keeps the multi-command link changes of one board (a
// rate or configuration change, a reconnect) one at a time. Lock order: linkMutex, then
// driver_entry_crisec, then lineMutex.
enum class EntryState { Opening, Open, Closing };

// What an entry holds; cleared as a whole when the entry is freed.
struct EntryData {
    platform::DynamicLibrary library;  // the loaded serial library (serial_libraries.h); none for a COM port
    SerialRef serialRef = nullptr;           // from clSerialInit or the IMAQ session
    char libraryPath[kLibraryPathLength] = {};
    uint32_t initmode = 0;                   // the open's initmode without the board number
    uint32_t openCount = 0;
    uint32_t handle = 0;                     // 0 marks a free entry
    // A taken entry is open unless an open or a close is under way (tests fill entries directly).
    EntryState state = EntryState::Open;
    bool channelReady = false;               // opening: the channel may carry transactions
    uint32_t inFlight = 0;                   // calls using the channel right now
    int32_t board = -1;                      // board number or COM port number; -1 when free
    std::unique_ptr<protocol::ComTransport> comPort;  // the open COM port
    int32_t comPortNumber = 0;               // from a "comport%d" name; 0 = not a COM port
    uint32_t commandTimeout = 200;
    uint32_t imageTimeout = 3000;
    uint32_t transferTimeout = 200;
    TransferParametersBlock transfer;
    // The rate the grabber was last switched to; `transfer.baudrate` follows it once a
    // transaction at that rate succeeds.
    uint32_t grabberRate = 9600;
    uint8_t cameraInfo[kCameraInfoSize] = {};
    uint32_t firmwareRevision = 0;           // main uP in bits 0-15, main FPGA in bits 16-31
    uint32_t outputFormatInfo = 0;

    ClSerialInitFn pclSerialInit = nullptr;
    ClSerialReadFn pclSerialRead = nullptr;
    ClSerialWriteFn pclSerialWrite = nullptr;
    ClSerialCloseFn pclSerialClose = nullptr;
    ClGetSupportedBaudRatesFn pclGetSupportedBaudRates = nullptr;
    ClSetBaudRateFn pclSetBaudRate = nullptr;
    ClFlushPortFn pclSerialFlush = nullptr;
};

struct DriverEntry : EntryData {
    std::mutex lineMutex;
    std::mutex linkMutex;

    // Free again: everything cleared (the mutexes stay, nobody holds them then).
    void clear() { static_cast<EntryData&>(*this) = EntryData{}; }
};

}  // namespace tessiport
