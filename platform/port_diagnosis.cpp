#include "platform/port_diagnosis.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/serial_ports_list.h"

namespace platform {

namespace {

std::string processName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? pid : pid + " (" + name + ")";
}

std::string groupName(gid_t gid) {
    if (const group* entry = ::getgrgid(gid))
        return entry->gr_name;
    return std::to_string(gid);
}

std::string modeText(mode_t mode) {
    std::string text = "c";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    return text;
}

std::string presentPorts() {
    return presentPortsText("no serial device is present");
}

bool lockedBySelf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    const std::string self = "/proc/self/fd";
    DIR* folder = ::opendir(self.c_str());
    if (folder == nullptr)
        return false;
    bool found = false;
    while (const dirent* item = ::readdir(folder)) {
        struct stat target {};
        if (item->d_name[0] != '.' && ::stat((self + "/" + item->d_name).c_str(), &target) == 0 &&
            target.st_rdev == info.st_rdev && S_ISCHR(target.st_mode))
            found = true;
    }
    ::closedir(folder);
    return found;
}

}  // namespace

std::vector<std::string> lockHolders(const std::string& path) {
    std::vector<std::string> holders;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return holders;
    // /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:123 0 EOF", the file as
    // major:minor:inode of the file system that holds the device node.
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind;
        if (kind == "->")  // a waiter
            fields >> kind;
        fields >> mode >> access >> pid >> file;
        // This process's own hold (a link still open) is no other program's.
        if (file == wanted && pid != std::to_string(::getpid()))
            holders.push_back(processName(pid));
    }
    // The lock file of the older convention, /var/lock/LCK..ttyUSB0, holds the owner's pid.
    const std::string base = path.substr(path.rfind('/') + 1);
    std::ifstream lockFile("/var/lock/LCK.." + base);
    std::string pid;
    if (lockFile >> pid && pid != std::to_string(::getpid()) &&
        ::access(("/proc/" + pid).c_str(), F_OK) == 0)
        holders.push_back(processName(pid));
    return holders;
}

PortDiagnosis diagnosePort(const std::string& path, const std::vector<uint32_t>& ratesTried) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == EACCES)
            return causeDiagnosis(PortCause::kPermission,
                                  "permission denied on a folder above " + path + ".");
        return causeDiagnosis(PortCause::kMissing,
                              path + " does not exist; " + presentPorts() + ".");
    }
    if (S_ISDIR(info.st_mode))
        return causeDiagnosis(PortCause::kDirectory,
                              path +
                                  " is a directory, not a serial device; give "
                                  "the device's path, e.g. /dev/ttyUSB0.");
    if (!S_ISCHR(info.st_mode))
        return causeDiagnosis(
            PortCause::kNotSerial,
            path + (S_ISREG(info.st_mode) ? " is a regular file" : " is no device") +
                ", not a serial device; give the device's path, e.g. /dev/ttyUSB0.");

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            const std::string group = groupName(info.st_gid);
            return causeDiagnosis(
                PortCause::kPermission,
                "permission denied on " + path + " (" + modeText(info.st_mode) + ", group " +
                    group + "); join the group with \"sudo usermod -aG " + group +
                    " $USER\" and log in again, or install the example udev rule " +
                    kUdevRuleExample + " in /etc/udev/rules.d.");
        }
        if (error == EBUSY)
            return causeDiagnosis(PortCause::kInUse, path + " is in use by another program.");
        if (error == ENXIO || error == ENODEV)
            return causeDiagnosis(
                PortCause::kMissing,
                path + " has no device behind it (unplugged?); " + presentPorts() + ".");
        return causeDiagnosis(PortCause::kNotSerial,
                              path + " cannot be opened: " + std::strerror(error) + ".");
    }
    const bool terminal = ::isatty(fd) != 0;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    if (!terminal)
        return causeDiagnosis(
            PortCause::kNotSerial,
            path + " is a device but not a serial port; give the serial device's path.");
    const std::vector<std::string> holders = lockHolders(path);
    // A lock of this process alone (a link kept open in emergency mode) is not "in use".
    if (!holders.empty() || (locked && !lockedBySelf(path))) {
        std::string names;
        for (const std::string& holder : holders)
            names += (names.empty() ? "" : ", ") + holder;
        return causeDiagnosis(PortCause::kInUse, path + " is in use by " +
                                                     (names.empty() ? std::string("another program")
                                                                    : "process " + names) +
                                                     "; end it or choose another port.");
    }
    return causeDiagnosis(PortCause::kNoAnswer,
                          "no camera answered on " + path + " at " + baudRatesText(ratesTried) +
                              "; check the cable, the camera's power and the port.");
}

}  // namespace platform
