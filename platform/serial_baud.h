#pragma once
// Any line speed on Linux through the arbitrary-rate terminal interface (termios2 with BOTHER).
// Kept apart from serial_port.cpp because <asm/termbits.h> clashes with <termios.h>.

#include <cstdint>

namespace platform {

// Sets input and output speed of the terminal `fd` to `baudRate`. 0 or an errno value.
int setBaudRate(int fd, uint32_t baudRate);
// Reads the output speed of the terminal `fd`. 0 or an errno value.
int getBaudRate(int fd, uint32_t& baudRate);

}  // namespace platform
