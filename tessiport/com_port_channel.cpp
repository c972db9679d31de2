#include "tessiport/com_port_channel.h"

#include <cstdio>

#include "platform/clock.h"
#include "tessiport/library_log.h"

namespace tessiport {

namespace {

class LibraryProtocolLog : public protocol::LogSink {
public:
    void logv(const char* format, va_list args) override {
        char text[300];
        std::vsnprintf(text, sizeof text, format, args);
        LogMessage(0, 1, "%s", text);
    }
};

}  // namespace

protocol::LogSink& protocolLog() {
    // Never destroyed: the process detach may still close a port after static destructors ran.
    static auto* const sink = new LibraryProtocolLog;
    return *sink;
}

uint32_t openComPort(DriverEntry& entry, int portNumber, uint32_t baudRate) {
    closeComPort(entry);
    auto* port =
        new protocol::ComTransport(protocol::Variant::Library, protocolLog(), platform::realClock());
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
