// Control_Command against a scripted grabber channel that delivers the input as the camera's
// bytes: whatever arrives, the reply copied is no longer than the caller's capacity and a success
// was a telegram with the right code and checksum. The link set-up's readers of the firmware
// records and the Camera Link configuration then take the same bytes as their replies.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/telegram.h"
#include "tessiport/control_command.h"
#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/link_setup.h"

namespace {

using namespace tessiport;

constexpr uint32_t kHandle = 0x100;
constexpr int32_t kTimeout = -10004;
const uint8_t* incoming = nullptr;
size_t remaining = 0;

int32_t scriptedRead(SerialRef, char* buffer, uint32_t* count, uint32_t) {
    const uint32_t n = uint32_t(std::min<size_t>(*count, remaining));
    std::memcpy(buffer, incoming, n);
    incoming += n;
    remaining -= n;
    const bool complete = n == *count;
    *count = n;
    return complete ? 0 : kTimeout;
}
int32_t scriptedWrite(SerialRef, char*, uint32_t*, uint32_t) { return 0; }
int32_t scriptedFlush(SerialRef) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    clearDriverList();
    DriverEntry& entry = driverlist()[0];
    entry.handle = kHandle;
    entry.openCount = 1;
    entry.serialRef = reinterpret_cast<SerialRef>(0x1234);
    entry.pclSerialRead = scriptedRead;
    entry.pclSerialWrite = scriptedWrite;
    entry.pclSerialFlush = scriptedFlush;
    entry.commandTimeout = 1;

    // The first byte is the capacity, the second chooses the command; the rest arrives.
    const uint32_t capacity = data[0] * 2u;
    const uint8_t getType[5] = {0x10, uint8_t(0x01 + (data[1] & 0x0F)), 0x05, 0x00, 0x00};
    incoming = data + 2;
    remaining = size - 2;
    std::vector<uint8_t> reply(capacity);
    const uint32_t result =
        Control_Command(kHandle, getType, sizeof getType, capacity ? reply.data() : nullptr, capacity);
    if (result == 0 && capacity >= 2 &&
        protocol::readU16(reply.data()) != uint16_t(protocol::readU16(getType) | 0x80))
        std::abort();

    incoming = data + 2;
    remaining = size - 2;
    get_firmwarerev(entry);
    incoming = data + 2;
    remaining = size - 2;
    get_actual_cl_config(entry);
    clearDriverList();
    return 0;
}
