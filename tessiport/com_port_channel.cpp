#include "tessiport/com_port_channel.h"

#include <memory>

#include "platform/clock.h"
#include "tessiport/library_log.h"

namespace tessiport {

uint32_t openComPort(DriverEntry& entry, int portNumber, uint32_t baudRate) {
    closeComPort(entry);
    auto port = std::make_unique<protocol::ComTransport>(protocol::Variant::Library,
                                                         libraryLogSink(), platform::realClock());
    const uint32_t result = port->openLibrary(portNumber, baudRate);
    if (port->isOpen())
        entry.comPort = std::move(port);
    return result;
}

void closeComPort(DriverEntry& entry) {
    entry.comPort.reset();
}

}  // namespace tessiport
