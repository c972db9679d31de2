#pragma once
// What the programmer binds of the serial interface library: the six exports it calls, the open
// flags and the open structure. Values crossing the boundary are 32-bit; buffers, handle variables
// and the structure's name field are pointers.

#include <cstdint>

namespace camera {

namespace initmode {
constexpr uint32_t kBoardMask = 0x00FF;
constexpr uint32_t kOnlySerialInit = 0x1000;    // QEL_KM4_CL_ONLY_SERIAL_INIT, always set
constexpr uint32_t kDllName = 0x2000;           // INITMODE_DLL_NAME: the open structure names it
constexpr uint32_t kNoConnectionTest = 0x8000;  // INITMODE_NO_CONNECTION_TEST
}  // namespace initmode

extern "C" {

// Ten fields; only the first is filled by the programmer.
struct KM4_OpenStruct {
    const char* cl_ser_file_name;  // NUL-terminated name of the grabber's serial library
    uint32_t reserved2[4];
    uint32_t imaq_serialref;
    uint32_t reserved7[4];
};

using OpenCamExtFn = uint32_t (*)(uint32_t initmode, uint32_t* handle, KM4_OpenStruct* open);
using OpenCamFn = uint32_t (*)(uint32_t initmode, uint32_t* handle);
using CloseCamFn = uint32_t (*)(uint32_t* handle);
using ControlCommandFn = uint32_t (*)(uint32_t handle, const void* command, uint32_t sizeIn,
                                      void* reply, uint32_t capacity);
using SetTimeoutsFn = uint32_t (*)(uint32_t handle, const uint32_t* values, uint32_t length);
using SetTransferParametersFn = uint32_t (*)(uint32_t handle, const uint32_t* values,
                                             uint32_t length);
}

}  // namespace camera
