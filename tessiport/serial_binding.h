#pragma once
// Finding and binding the serial channel of a new board: a frame grabber's Camera Link serial
// library (by name or chosen from the places searched), the IMAQ serial functions, or a
// "comport%d" name.

#include <cstdint>
#include <mutex>

#include "tessiport/driver_entry.h"
#include "tessiport/serial_places.h"

namespace tessiport {

// `name` may be null (search and let the user choose); trailing blanks of a name are ignored.
// `dialogLock` is the library's driver entry lock, held while the user chooses. 0 or an error
// code; on success the entry is bound, or holds a COM port number.
uint32_t Get_Serial_Functions(DriverEntry& entry, const char* name,
                              std::recursive_mutex& dialogLock);

// The same with the places given (Get_Serial_Functions takes them from the environment and the
// library's own location).
uint32_t bindSerialFunctions(DriverEntry& entry, const char* name,
                             std::recursive_mutex& dialogLock, const SerialPlaces& places);

// Unloads what Get_Serial_Functions loaded and empties the function references.
void releaseSerialFunctions(DriverEntry& entry);

}  // namespace tessiport
