#pragma once
// One open board of the library, and the process-wide table of them. The entry layout follows
// the order in which the library's routines fill it; function references are the bound serial
// functions of a frame grabber's Camera Link serial library or of the IMAQ library.

#include <cstdint>
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

struct DriverEntry {
    platform::DynamicLibrary library;        // the loaded serial library; none for a COM port
    SerialRef serialRef = nullptr;           // from clSerialInit or the IMAQ session
    char libraryPath[kLibraryPathLength] = {};
    uint32_t initmode = 0;                   // the open's initmode without the board number
    uint32_t openCount = 0;
    uint32_t handle = 0;                     // 0 marks a free entry
    bool opening = false;                    // reserved by an open that has not finished
    int32_t board = -1;                      // board number or COM port number; -1 when free
    protocol::ComTransport* comPort = nullptr;  // the open COM port, owned by the entry
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

}  // namespace tessiport
