// Reply validation and the decoders of the camera operations: whatever bytes arrive, nothing is
// read outside them or the caller's buffer, and a decoder that succeeds had every field it read
// and the addresses it asked for in the reply.

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_camera.h"
#include "programmer/camera/flash_device.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"
#include "protocol/telegram.h"

namespace {

// Answers every command with the whole fuzz input; the received bytes sit in a heap buffer of
// exactly their size.
class WholeInputCamera : public fuzz::InputCamera {
public:
    WholeInputCamera(const uint8_t* data, size_t size) : received_(data, data + size) {}
    camera::ErrorCode Command(const uint8_t* command, uint32_t, uint8_t* reply, uint32_t capacity,
                              uint32_t) override {
        return answer(received_, command, reply, capacity);
    }

private:
    std::vector<uint8_t> received_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // The first bytes choose the block asked for; the rest is what the camera sent.
    const uint32_t count = uint32_t(data[0]) + 1;
    const uint32_t address = uint32_t(data[1]) << 8;
    const bool eeprom = data[2] & 1;
    WholeInputCamera cam(data + 3, size - 3);

    std::array<uint8_t, protocol::kBlockSize> block{};
    const uint16_t read = eeprom ? protocol::cmd::READ_EEPROM_BLOCK : protocol::cmd::READ_BLOCK;
    if (camera::ReadBlock(cam, read, address, count, block.data()) == 0) {
        const auto& r = cam.lastReply;
        if (protocol::replyBytes(r.data(), uint32_t(r.size())) < protocol::field::BLOCK_DATA + count ||
            protocol::readU32(&r[4]) != address || protocol::readU32(&r[8]) != address + count - 1 ||
            std::memcmp(block.data(), &r[protocol::field::BLOCK_DATA], count) != 0)
            std::abort();
    }

    uint32_t first = 0, last = 0, sum = 0;
    if (camera::GetChecksum(cam, first, last, sum) == 0 &&
        protocol::replyBytes(cam.lastReply.data(), uint32_t(cam.lastReply.size())) < 16)
        std::abort();

    cam.cameraType = 0xBEEF;
    if (cam.ReadCameraType() != 0 && cam.cameraType != 0xBEEF) std::abort();
    if (cam.identifyCamera(1) &&
        protocol::replyBytes(cam.lastReply.data(), uint32_t(cam.lastReply.size())) < 22)
        std::abort();
    camera::CheckDaven(cam);

    const auto& r = cam.lastReply;
    const auto boards = protocol::hardwareRecordsOf(r.data(), uint32_t(r.size()));
    if (boards && boards->size() > protocol::field::RECORDS_PER_REPLY) std::abort();
    const auto firmware = protocol::firmwareRecordsOf(r.data(), uint32_t(r.size()));
    if (firmware && firmware->records.size() > protocol::field::RECORDS_PER_REPLY) std::abort();
    return 0;
}
