#include "programmer/files/pe_machine.h"

#include <algorithm>
#include <vector>

#include "programmer/files/file_descriptor.h"
#include "programmer/files/file_io.h"

namespace files {

namespace {
constexpr size_t kHeaderOffsetField = 0x3C;  // e_lfanew of the MS-DOS header
constexpr uint16_t kMachineX86 = 0x014C;
constexpr uint16_t kMachineX64 = 0x8664;
// The PE header follows the MS-DOS stub within the first few kilobytes in practice.
constexpr size_t kHeadBytes = 4096;

uint32_t littleEndian(const uint8_t* bytes, size_t count) {
    uint32_t value = 0;
    for (size_t i = count; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}
}  // namespace

PeMachine peMachineOf(const uint8_t* head, size_t size) {
    if (size < kHeaderOffsetField + 4 || head[0] != 'M' || head[1] != 'Z')
        return PeMachine::kUnreadable;
    const uint32_t offset = littleEndian(head + kHeaderOffsetField, 4);
    // "PE\0\0" and the two bytes of the machine field, all inside what was read.
    if (offset > size || size - offset < 6)
        return PeMachine::kUnreadable;
    const uint8_t* pe = head + offset;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        return PeMachine::kUnreadable;
    switch (littleEndian(pe + 4, 2)) {
        case kMachineX86:
            return PeMachine::kX86;
        case kMachineX64:
            return PeMachine::kX64;
        default:
            return PeMachine::kOther;
    }
}

PeMachine peMachineOfFile(const std::string& path) {
    int fd = -1;
    size_t size = 0;
    if (openRegularFile(path, UINT64_MAX, fd, size) != 0)
        return PeMachine::kUnreadable;
    Descriptor file(fd);
    std::vector<uint8_t> head(std::min(size, kHeadBytes));
    size_t got = 0;
    while (got < head.size()) {
        const long n = readDescriptor(file.get(), head.data() + got, head.size() - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    return peMachineOf(head.data(), got);
}

const char* peMachineName(PeMachine machine) {
    switch (machine) {
        case PeMachine::kX86:
            return "32-bit";
        case PeMachine::kX64:
            return "64-bit";
        case PeMachine::kOther:
            return "other";
        case PeMachine::kUnreadable:
            break;
    }
    return "unreadable";
}

}  // namespace files
