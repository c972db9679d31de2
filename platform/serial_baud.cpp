#include "platform/serial_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <cerrno>

namespace platform {

int setBaudRate(int fd, uint32_t baudRate) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    settings.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = baudRate;
    settings.c_ospeed = baudRate;
    if (::ioctl(fd, TCSETS2, &settings) != 0)
        return errno;
    return 0;
}

int getBaudRate(int fd, uint32_t& baudRate) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    baudRate = settings.c_ospeed;
    return 0;
}

}  // namespace platform
