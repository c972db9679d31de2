// The Camera Link serial functions of libclsersim, with the standard's prototypes and C linkage.
// Which of them a built library exports is chosen by its version script (see CMakeLists.txt).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "sim/clsersim/clsersim.h"
#include "sim/clsersim/serial_port.h"

using clsersim::PortTable;
using clsersim::SerialPort;
namespace clerr = clsersim::clerr;

namespace {

// CLSERSIM_LOG=PATH: each init, write, rate change and close is appended to PATH as one line, so
// a test sees what its host asked of the grabber ("init 0 0", "write 03000d...", "rate 115200",
// "rate refused 32", "close").
const char* logPath() {
    const char* path = std::getenv("CLSERSIM_LOG");
    return path && *path ? path : nullptr;
}

void logCall(const std::string& line) {
    const char* path = logPath();
    if (!path)
        return;
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::string hexBytes(const char* buffer, uint32_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size_t(count));
    for (uint32_t i = 0; i < count; ++i) {
        const auto byte = uint8_t(buffer[i]);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

}  // namespace

extern "C" {  // declared in clsersim.h

int32_t clSerialInit(uint32_t serialIndex, void** serialRefPtr) {
    if (!serialRefPtr)
        return clerr::kInvalidReference;
    *serialRefPtr = nullptr;
    int32_t error = clerr::kNone;
    std::shared_ptr<SerialPort> port = SerialPort::open(serialIndex, error);
    logCall("init " + std::to_string(serialIndex) + " " + std::to_string(error));
    if (!port)
        return error;
    void* reference = PortTable::add(std::move(port));
    if (!reference)
        return clerr::kInvalidIndex;  // the library is being unloaded
    *serialRefPtr = reference;
    return clerr::kNone;
}

int32_t clSerialRead(void* serialRef, char* buffer, uint32_t* numBytes, uint32_t serialTimeout) {
    const std::shared_ptr<SerialPort> port = PortTable::find(serialRef);
    if (!port || !numBytes || (!buffer && *numBytes > 0))
        return clerr::kInvalidReference;
    return port->read(buffer, numBytes, serialTimeout);
}

int32_t clSerialWrite(void* serialRef, char* buffer, uint32_t* bufferSize, uint32_t serialTimeout) {
    const std::shared_ptr<SerialPort> port = PortTable::find(serialRef);
    if (!port || !bufferSize || (!buffer && *bufferSize > 0))
        return clerr::kInvalidReference;
    // Spelled out only for a log: every block written would pay for it.
    if (logPath())
        logCall("write " + hexBytes(buffer, *bufferSize));
    return port->write(buffer, bufferSize, serialTimeout);
}

// A grabber close that faults can be simulated with CLSERSIM_CLOSE_THROWS=1: the port is
// closed, then a C++ exception leaves the function, as from a library whose close crashes.
void clSerialClose(void* serialRef) {
    if (PortTable::remove(serialRef))
        logCall("close");
    const char* knob = std::getenv("CLSERSIM_CLOSE_THROWS");
    if (knob && std::strcmp(knob, "1") == 0)
        throw std::runtime_error("clsersim: clSerialClose fails (CLSERSIM_CLOSE_THROWS=1)");
}

int32_t clGetSupportedBaudRates(void* serialRef, uint32_t* baudRates) {
    if (!PortTable::find(serialRef) || !baudRates)
        return clerr::kInvalidReference;
    *baudRates = SerialPort::supportedMask();
    return clerr::kNone;
}

int32_t clSetBaudRate(void* serialRef, uint32_t baudRate) {
    const std::shared_ptr<SerialPort> port = PortTable::find(serialRef);
    if (!port)
        return clerr::kInvalidReference;
    const int32_t result = port->setBaudRate(baudRate);
    logCall(result == clerr::kNone ? "rate " + std::to_string(port->baud())
                                   : "rate refused " + std::to_string(baudRate));
    return result;
}

int32_t clFlushPort(void* serialRef) {
    const std::shared_ptr<SerialPort> port = PortTable::find(serialRef);
    if (!port)
        return clerr::kInvalidReference;
    return port->flush();
}

}  // extern "C"
