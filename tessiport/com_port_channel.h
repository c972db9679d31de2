#pragma once
// The PC COM port behind a driver entry: the library's variant of the COM-port transport, whose
// log lines go to the library's log as error lines.

#include <cstdint>

#include "protocol/com_transport.h"
#include "protocol/log_sink.h"
#include "tessiport/driver_entry.h"

namespace tessiport {

// The sink of the library's protocol code: every line at level 0, value 1.
protocol::LogSink& protocolLog();

// Opens COM port `portNumber` at `baudRate` and asks the camera for its type. Keeps the port
// open in `entry.comPort` whenever the open itself worked, also when the camera did not answer
// (the returned code then says why).
uint32_t openComPort(DriverEntry& entry, int portNumber, uint32_t baudRate);
// Closes and frees the entry's COM port, if it has one.
void closeComPort(DriverEntry& entry);

}  // namespace tessiport
