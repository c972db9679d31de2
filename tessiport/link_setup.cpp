#include "tessiport/link_setup.h"

#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"

namespace tessiport {

uint32_t linkSetupNotAvailable(const char* function, uint32_t value) {
    LogMessage(level::kError, value, "%s: link set-up not available in this version", function);
    return TP_ERR_NOT_SERIAL_FUNCTION;
}

uint32_t completeTestedOpen(DriverEntry& entry) {
    return linkSetupNotAvailable("Open_Cam_Ext", entry.handle);
}

uint32_t testOpenConnection(DriverEntry& entry) {
    return linkSetupNotAvailable("Open_Cam_Ext", entry.handle);
}

uint32_t scan_comport_baudrate(protocol::ComTransport&, uint32_t portNumber) {
    return linkSetupNotAvailable("scan_comport_baudrate", portNumber);
}

}  // namespace tessiport
