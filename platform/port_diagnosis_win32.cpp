#include <windows.h>

#include "platform/port_diagnosis.h"
#include "platform/serial_ports_list.h"

namespace platform {

namespace {
std::string presentPorts() {
    return presentPortsText("no COM port is present");
}
}  // namespace

// Windows names no holder of a port; the lock of another program shows as a refused open.
std::vector<std::string> lockHolders(const std::string&) {
    return {};
}

PortDiagnosis diagnosePort(const std::string& path, const std::vector<uint32_t>& ratesTried) {
    const HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        switch (::GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return causeDiagnosis(PortCause::kMissing,
                                      path + " does not exist; " + presentPorts() + ".");
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                return causeDiagnosis(PortCause::kInUse,
                                      path +
                                          " is in use by another program; end it "
                                          "or choose another port.");
            default:
                return causeDiagnosis(PortCause::kNotSerial,
                                      path + " cannot be opened as a COM port.");
        }
    }
    DCB settings{};
    settings.DCBlength = sizeof settings;
    const bool serial = ::GetCommState(port, &settings) != 0;
    ::CloseHandle(port);
    if (!serial)
        return causeDiagnosis(PortCause::kNotSerial,
                              path + " is a device but not a serial port; give a COM port.");
    return causeDiagnosis(PortCause::kNoAnswer,
                          "no camera answered on " + path + " at " + baudRatesText(ratesTried) +
                              "; check the cable, the camera's power and the port.");
}

}  // namespace platform
