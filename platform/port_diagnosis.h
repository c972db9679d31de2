#pragma once
// Why a serial device could not be used, in one line with the next step: the device is missing
// (with the ports that exist), is a directory or a regular file, may not be opened by this user
// (with the group that owns it), is held by another process, or opens but no camera answered.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class PortCause { kMissing, kDirectory, kNotSerial, kPermission, kInUse, kNoAnswer };

struct PortDiagnosis {
    PortCause cause = PortCause::kNoAnswer;
    std::string line;  // "Cause: ...", one line without a line feed
};

// The machine-readable name of a cause: "missing", "directory", "not-serial", "permission",
// "in-use", "no-answer".
const char* portCauseName(PortCause cause);

// "57600 baud", "9600 and 57600 baud", "9600, 19200 and 57600 baud".
std::string baudRatesText(const std::vector<uint32_t>& rates);

// A diagnosis whose line reads "Cause: <text>".
PortDiagnosis causeDiagnosis(PortCause cause, const std::string& text);

// "present: <the serial devices the system lists> (kelvoflash-cli ports lists them)", or `none`
// with the same hint when it lists none.
std::string presentPortsText(const std::string& none);

// The example udev rule installed with the programs, named in the permission hint.
constexpr const char* kUdevRuleExample = "/usr/share/doc/kelvoflash/examples/70-kelvoflash-serial.rules";

// Looks at `path` again (stat, a short open, its lock) after a failed connection. `ratesTried`
// are the baud rates the connection used, named when the port itself is fine. The probe never
// keeps the device open.
PortDiagnosis diagnosePort(const std::string& path, const std::vector<uint32_t>& ratesTried);

// The processes that hold a lock on `path` (flock or a lock file in /var/lock), as
// "1234 (camsim)"; empty when no lock tells.
std::vector<std::string> lockHolders(const std::string& path);

}  // namespace platform
