#pragma once
// The command transaction on a grabber channel (Camera Link serial library or IMAQ), and the
// camera error of the last one.

#include <atomic>
#include <cstdint>

#include "tessiport/driver_entry.h"

namespace tessiport {

// The working buffer: a 4-byte header and 512 more bytes.
constexpr uint32_t kWorkingBufferSize = 4 + 512;
// Reads of 100 bytes at most this often before a command: enough to empty a channel after a
// burst of debug text, and an end when the camera never stops sending.
constexpr int kPreReadLimit = 20;

// The error code of the last error reply seen on a grabber channel, 0 after a good reply.
extern std::atomic<uint32_t> lastCameraError;

// One transaction on `handle`'s grabber channel; takes driver_entry_crisec for the lookup and
// until the reply has been read. `size_in` and the length field are checked by the caller.
uint32_t grabberTransaction(uint32_t handle, const uint8_t* command, uint32_t size_in,
                            uint8_t* reply, uint32_t capacity);

}  // namespace tessiport
