#include "programmer/cli/camera_details.h"

#include <array>
#include <cstring>

#include "protocol/commands.h"
#include "protocol/telegram.h"

namespace cli {

CameraDetails readCameraDetails(camera::CCamUpdate& link) {
    using namespace protocol;
    CameraDetails details;

    std::array<uint8_t, cap::GET_CAMERA_TYPE> typeReply{};
    const Request typeRequest = simpleRequest(cmd::GET_CAMERA_TYPE);
    if (link.Command(typeRequest.data(), typeRequest.size, typeReply.data(), typeReply.size(),
                     timeout::GET_CAMERA_TYPE) == kOk)
        details.cameraType = readU16(&typeReply[field::CAMERA_TYPE]);

    std::array<uint8_t, cap::GET_HARDWARE_VERSIONS> reply{};
    const Request request = simpleRequest(cmd::GET_HARDWARE_VERSIONS);
    if (link.Command(request.data(), request.size, reply.data(), reply.size(),
                     timeout::GET_HARDWARE_VERSIONS) != kOk)
        return details;
    const int count = readU16(&reply[field::RECORD_COUNT]);
    if (count < 0 || count > int(field::RECORDS_PER_REPLY))
        return details;
    std::vector<HardwareBoard> boards;
    for (int index = 0; index < count; ++index) {
        const uint8_t* record =
            &reply[field::RECORDS + size_t(index) * field::HARDWARE_RECORD_SIZE];
        const auto* name = reinterpret_cast<const char*>(record);
        boards.push_back({std::string(name, strnlen(name, field::HARDWARE_NAME_SIZE)),
                          readU16(record + field::HARDWARE_CODE_A),
                          readU16(record + field::HARDWARE_CODE_B)});
    }
    details.boards = std::move(boards);
    return details;
}

}  // namespace cli
