/* A Camera Link serial library for the binding tests: SERIAL_FULL exports every function,
 * SERIAL_MINIMAL only the required ones, SERIAL_NOCLOSE lacks clSerialClose, SERIAL_IMAQ has the
 * IMAQ serial functions only. Nothing talks to a camera. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

#ifndef SERIAL_IMAQ
EXPORT int32_t clSerialInit(uint32_t index, void** ref) {
    *ref = (void*)(uintptr_t)(index + 1);
    return 0;
}
EXPORT int32_t clSerialRead(void* ref, char* buffer, uint32_t* count, uint32_t timeout) {
    (void)ref, (void)buffer, (void)timeout;
    *count = 0;
    return -10004;
}
EXPORT int32_t clSerialWrite(void* ref, char* buffer, uint32_t* count, uint32_t timeout) {
    (void)ref, (void)buffer, (void)count, (void)timeout;
    return 0;
}
#ifndef SERIAL_NOCLOSE
EXPORT void clSerialClose(void* ref) { (void)ref; }
#endif
#if !defined(SERIAL_MINIMAL)
EXPORT int32_t clGetSupportedBaudRates(void* ref, uint32_t* mask) {
    (void)ref;
    *mask = 0x1F;
    return 0;
}
EXPORT int32_t clSetBaudRate(void* ref, uint32_t bit) { (void)ref, (void)bit; return 0; }
EXPORT int32_t clFlushPort(void* ref) { (void)ref; return 0; }
#endif
#else
EXPORT int32_t imgSessionSerialReadBytes(uint32_t s, char* b, uint32_t* c, uint32_t t) {
    (void)s, (void)b, (void)t;
    *c = 0;
    return -1;
}
EXPORT int32_t imgSessionSerialWrite(uint32_t s, char* b, uint32_t* c, uint32_t t) {
    (void)s, (void)b, (void)c, (void)t;
    return 0;
}
EXPORT int32_t imgSessionSerialFlush(uint32_t s) { (void)s; return 0; }
#endif
