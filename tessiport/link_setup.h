#pragma once
// Link set-up of an open channel: the baud-rate scans, the Camera Link configuration and the
// firmware revisions, on which the connection-tested open, the reconnect of an open handle and
// the transfer parameters are built. Until those are in place, each of these entry points logs
// what is missing and answers TP_ERR_NOT_SERIAL_FUNCTION, so that no caller mistakes it for a
// working link.

#include <cstdint>

#include "protocol/com_transport.h"
#include "tessiport/driver_entry.h"

namespace tessiport {

// Open_Cam_Ext on a channel just opened without INITMODE_NO_CONNECTION_TEST: scan, configuration,
// revisions, the grabber's baud-rate mask. 0 when the board may be used.
uint32_t completeTestedOpen(DriverEntry& entry);

// Open_Cam_Ext with the handle of an open board: test the connection, reconnect when it is lost.
uint32_t testOpenConnection(DriverEntry& entry);

// A COM port that opened but whose camera did not answer at the parameter file's rate.
uint32_t scan_comport_baudrate(protocol::ComTransport& port, uint32_t portNumber);

// The log line and code of a link set-up step that this build does not have.
uint32_t linkSetupNotAvailable(const char* function, uint32_t value);

}  // namespace tessiport
