#pragma once
// The functions libclsersim offers: the Camera Link serial functions (libclsersim.so and its
// variants) and the IMAQ serial functions (libclsersim_imaq.so). Results are 0 or a negative
// Camera Link error number (-10004 time-out, -10005 no port for the index, -10006 not a serial
// reference or a missing pointer, -10008 rate not supported).

#include <stdint.h>

#if defined(_WIN32)
#define CLSERSIM_EXPORT  // each DLL's module-definition file names its exports
#elif defined(__GNUC__)
#define CLSERSIM_EXPORT __attribute__((visibility("default")))
#else
#define CLSERSIM_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

CLSERSIM_EXPORT int32_t clSerialInit(uint32_t serialIndex, void** serialRefPtr);
CLSERSIM_EXPORT int32_t clSerialRead(void* serialRef, char* buffer, uint32_t* numBytes,
                                     uint32_t serialTimeout);
CLSERSIM_EXPORT int32_t clSerialWrite(void* serialRef, char* buffer, uint32_t* bufferSize,
                                      uint32_t serialTimeout);
CLSERSIM_EXPORT void clSerialClose(void* serialRef);
CLSERSIM_EXPORT int32_t clGetSupportedBaudRates(void* serialRef, uint32_t* baudRates);
CLSERSIM_EXPORT int32_t clSetBaudRate(void* serialRef, uint32_t baudRate);
CLSERSIM_EXPORT int32_t clFlushPort(void* serialRef);

CLSERSIM_EXPORT int32_t imgSessionSerialReadBytes(uint32_t session, char* buffer,
                                                  uint32_t* bufferSize, uint32_t timeout);
CLSERSIM_EXPORT int32_t imgSessionSerialWrite(uint32_t session, char* buffer, uint32_t* bufferSize,
                                              uint32_t timeout);
CLSERSIM_EXPORT int32_t imgSessionSerialFlush(uint32_t session);

#ifdef __cplusplus
}
#endif
