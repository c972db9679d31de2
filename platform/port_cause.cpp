#include "platform/port_diagnosis.h"

#include "platform/serial_ports_list.h"

namespace platform {

const char* portCauseName(PortCause cause) {
    switch (cause) {
        case PortCause::kMissing:
            return "missing";
        case PortCause::kDirectory:
            return "directory";
        case PortCause::kNotSerial:
            return "not-serial";
        case PortCause::kPermission:
            return "permission";
        case PortCause::kInUse:
            return "in-use";
        case PortCause::kNoAnswer:
            return "no-answer";
    }
    return "no-answer";
}

std::string baudRatesText(const std::vector<uint32_t>& rates) {
    std::string text;
    for (size_t i = 0; i < rates.size(); ++i) {
        if (i > 0)
            text += i + 1 == rates.size() ? " and " : ", ";
        text += std::to_string(rates[i]);
    }
    return text + " baud";
}

PortDiagnosis causeDiagnosis(PortCause cause, const std::string& text) {
    return {cause, "Cause: " + text};
}

std::string presentPortsText(const std::string& none) {
    std::string text;
    for (const SerialDevice& device : listSerialDevices())
        text += (text.empty() ? "" : ", ") + device.path;
    return (text.empty() ? none : "present: " + text) + " (kelvoflash-cli ports lists them)";
}

}  // namespace platform
