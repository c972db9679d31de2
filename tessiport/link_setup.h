#pragma once
// Link set-up of an open channel: finding the rate the camera answers at, reading and setting the
// Camera Link configuration, and the firmware revisions kept in the driver entry.

#include <cstdint>

#include "platform/clock.h"
#include "protocol/com_transport.h"
#include "tessiport/driver_entry.h"

namespace tessiport {

// Camera Link channels (grabber library or IMAQ): tries 9600 and then the grabber's other usable
// rates until GET_CAMERA_TYPE answers, then keeps GET_CAMERA_INFO in the entry.
uint32_t scan_camera_baudrate(DriverEntry& entry);
// An open COM port whose camera did not answer at the parameter file's rate; `portNumber` is the
// value column of its log lines.
uint32_t scan_comport_baudrate(protocol::ComTransport& port, uint32_t portNumber);
// Changes camera and grabber to `rate` (9600, 19200, 38400 or 115200 where the grabber has it).
uint32_t set_baudrate(DriverEntry& entry, uint32_t rate);
// Reads clock, CC line, data format, transmit and the interface output format; always 0.
uint32_t get_actual_cl_config(DriverEntry& entry);
uint32_t set_cl_config(DriverEntry& entry, uint32_t clockFrequency, uint32_t ccLine,
                       uint32_t dataFormat, uint32_t transmit);
uint32_t get_firmwarerev(DriverEntry& entry);

// Open_Cam_Ext on a channel just opened without INITMODE_NO_CONNECTION_TEST: scan (grabber
// channels), configuration, revisions, the grabber's baud-rate mask. 0 when the board may be used.
uint32_t completeTestedOpen(DriverEntry& entry);

// Open_Cam_Ext with the handle `value` of an open board: test the connection, reconnect when it is
// lost. A reconnect that cannot reopen the channel closes the board and zeroes *handle.
uint32_t testOpenConnection(uint32_t value, uint32_t* handle);

// The grabber's supported-rate mask (asked over the entry's line) without the rates this library never uses on Camera Link
// (57600, 230400, 460800, 921600); 0 when the grabber cannot tell.
uint32_t usableGrabberRates(DriverEntry& entry);

// The clock the set-up waits sleep on; tests may substitute a virtual one.
platform::Clock& linkClock();
void setLinkClock(platform::Clock* clock);

}  // namespace tessiport
