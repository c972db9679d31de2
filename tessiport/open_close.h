#pragma once
// Opening and closing boards: Open_Cam_Ext, Open_Cam, Close_Cam (exports), and the close that
// Close_Cam and the process detach share.

#include "tessiport/driver_entry.h"

namespace tessiport {

// Closes the entry's channel (COM port, or the grabber's close function, guarded, and the
// library's unload) and frees the entry. The caller holds driver_entry_crisec.
void closeBoard(DriverEntry& entry);

}  // namespace tessiport
