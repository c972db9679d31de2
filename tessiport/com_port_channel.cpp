#include "tessiport/com_port_channel.h"

#include "platform/clock.h"
#include "tessiport/library_log.h"

namespace tessiport {

uint32_t openComPort(DriverEntry& entry, int portNumber, uint32_t baudRate) {
    closeComPort(entry);
    auto* port = new protocol::ComTransport(protocol::Variant::Library, libraryLogSink(),
                                            platform::realClock());
    const uint32_t result = port->openLibrary(portNumber, baudRate);
    if (!port->isOpen()) {
        delete port;
        return result;
    }
    entry.comPort = port;
    return result;
}

void closeComPort(DriverEntry& entry) {
    delete entry.comPort;
    entry.comPort = nullptr;
}

}  // namespace tessiport
