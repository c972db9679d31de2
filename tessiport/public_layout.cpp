// The layout of the public records, as tessiport.h documents it: hosts written in other languages
// rely on it. With 32-bit pointers KM4_OpenStruct is exactly ten 32-bit fields.
#include <cstddef>

#include "tessiport/include/tessiport.h"

constexpr bool kNarrowPointers = sizeof(void*) == 4;

static_assert(sizeof(KM4_OpenStruct) == (kNarrowPointers ? 40 : 48));
static_assert(offsetof(KM4_OpenStruct, cl_ser_file_name) == 0);
static_assert(offsetof(KM4_OpenStruct, imaq_serialref) == (kNarrowPointers ? 20 : 24));
static_assert(sizeof(TransferParameters) == 20);
static_assert(offsetof(TransferParameters, Transmit) == 16);
