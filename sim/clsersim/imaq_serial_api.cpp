// The IMAQ serial functions of libclsersim_imaq.so. An IMAQ session number N is served like
// serial index N (CLSERSIM_PORT<N>); its port is connected at the first call that uses it and
// stays so until the library is unloaded, as the driver keeps a session's port. The rate is
// the grabber's start rate, 9600 bit/s.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "sim/clsersim/clsersim.h"
#include "sim/clsersim/serial_port.h"

using clsersim::SerialPort;
namespace clerr = clsersim::clerr;

namespace {

std::mutex sessionMutex;
// As the serial references (serial_port.cpp): calls after this object's destruction at exit
// find no session instead of a dead map.
bool sessionsGone = false;
struct Sessions {
    std::map<uint32_t, std::shared_ptr<SerialPort>> ports;
    ~Sessions() { sessionsGone = true; }
} sessions;

// The session's port, connected on first use; null when it cannot be reached (tried again at
// the next call).
std::shared_ptr<SerialPort> sessionPort(uint32_t session) {
    std::lock_guard<std::mutex> lock(sessionMutex);
    if (sessionsGone)
        return nullptr;
    std::shared_ptr<SerialPort>& port = sessions.ports[session];
    int32_t error = clerr::kNone;
    if (!port)
        port = SerialPort::open(session, error);
    return port;
}

}  // namespace

extern "C" {  // declared in clsersim.h

int32_t imgSessionSerialReadBytes(uint32_t session, char* buffer, uint32_t* bufferSize,
                                  uint32_t timeout) {
    const std::shared_ptr<SerialPort> port = sessionPort(session);
    if (!port)
        return clerr::kInvalidIndex;
    if (!bufferSize || (!buffer && *bufferSize > 0))
        return clerr::kInvalidReference;
    return port->read(buffer, bufferSize, timeout);
}

int32_t imgSessionSerialWrite(uint32_t session, char* buffer, uint32_t* bufferSize,
                              uint32_t timeout) {
    const std::shared_ptr<SerialPort> port = sessionPort(session);
    if (!port)
        return clerr::kInvalidIndex;
    if (!bufferSize || (!buffer && *bufferSize > 0))
        return clerr::kInvalidReference;
    return port->write(buffer, bufferSize, timeout);
}

int32_t imgSessionSerialFlush(uint32_t session) {
    const std::shared_ptr<SerialPort> port = sessionPort(session);
    if (!port)
        return clerr::kInvalidIndex;
    return port->flush();
}

}  // extern "C"
