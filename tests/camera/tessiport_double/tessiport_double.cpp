// A test stand-in for the serial interface library: camsim over QEL_COM<board+1>, a grabber that
// starts at 9600 baud and fails Control_Command while the camera's rate differs. Environment:
// TESSIPORT_DOUBLE_REFUSE (rates refused), _GRABBERS (accepted grabber libraries), _CALLS (log).

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "protocol/com_transport.h"
#include "protocol/commands.h"
#include "protocol/log_sink.h"
#include "tessiport/include/tessiport.h"

namespace {

constexpr uint32_t kInvalidArgument = 0xA0332001;
constexpr uint32_t kInvalidHandle = 0x80332006;

struct Board {
    std::unique_ptr<protocol::ComTransport> transport;
    uint32_t commandTimeout = 200;
    uint32_t grabberRate = 9600;
};

std::map<uint32_t, Board> boards;
protocol::NullLogSink nullLog;

void record(const std::string& line) {
    const char* path = std::getenv("TESSIPORT_DOUBLE_CALLS");
    if (path != nullptr) std::ofstream(path, std::ios::app) << line << '\n';
}
std::string hex(uint32_t value, int width = 0) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%0*x", width, value);
    return text;
}

bool listed(const char* list, const std::string& value) {
    std::stringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        if (item == value) return true;
    return false;
}

// The camera's Camera Link rate, 0 when it does not answer.
uint32_t cameraRate(Board& board) {
    const protocol::Request request = protocol::simpleRequest(protocol::cmd::GET_CL_BAUDRATE);
    uint8_t reply[protocol::cap::GET_CL_BAUDRATE] = {};
    if (board.transport->transaction(request.data(), request.size, reply, sizeof reply, 1000) != 0)
        return 0;
    return protocol::readU32(&reply[protocol::field::BAUD_RATE]);
}

uint32_t openBoard(uint32_t initmode, uint32_t* handle, KM4_OpenStruct* open) {
    if (handle == nullptr || (initmode & QEL_KM4_CL_ONLY_SERIAL_INIT) == 0) return kInvalidArgument;
    const char* grabbers = std::getenv("TESSIPORT_DOUBLE_GRABBERS");
    if ((initmode & INITMODE_DLL_NAME) && (open == nullptr || open->cl_ser_file_name == nullptr))
        return kInvalidArgument;
    if ((initmode & INITMODE_DLL_NAME) && grabbers != nullptr && !listed(grabbers, open->cl_ser_file_name))
        return 0xA0332004;  // no such serial library
    const uint32_t boardNumber = initmode & INITMODE_BOARD_MASK;
    auto transport = std::make_unique<protocol::ComTransport>(protocol::Variant::Library, nullLog,
                                                              platform::realClock());
    transport->openLibrary(int(boardNumber) + 1, 9600);
    if (!transport->isOpen()) return kInvalidHandle;
    *handle = 0x100 + boardNumber;
    boards[*handle] = Board{std::move(transport)};
    return 0;
}

Board* find(uint32_t handle) {
    auto it = boards.find(handle);
    return it == boards.end() ? nullptr : &it->second;
}

}  // namespace

extern "C" {

uint32_t Open_Cam_Ext(uint32_t initmode, uint32_t* handle, KM4_OpenStruct* open) {
    const bool named = (initmode & INITMODE_DLL_NAME) && open != nullptr &&
                       open->cl_ser_file_name != nullptr;
    record("Open_Cam_Ext " + hex(initmode) + " " + (named ? open->cl_ser_file_name : "-"));
    return openBoard(initmode, handle, open);
}

uint32_t Open_Cam(uint32_t initmode, uint32_t* handle) {
    record("Open_Cam " + hex(initmode));
    return openBoard(initmode, handle, nullptr);
}

uint32_t Close_Cam(uint32_t* handle) {
    if (handle == nullptr) return kInvalidArgument;
    record("Close_Cam " + hex(*handle));
    const bool known = boards.erase(*handle) > 0;
    *handle = 0;
    return known ? 0 : kInvalidHandle;
}

uint32_t Set_Timeouts(uint32_t handle, const uint32_t* values, uint32_t length) {
    Board* board = find(handle);
    if (board != nullptr && values != nullptr && length >= 4) board->commandTimeout = values[0];
    return board != nullptr ? 0 : kInvalidHandle;
}

uint32_t Control_Command(uint32_t handle, const void* command, uint32_t sizeIn, void* reply,
                         uint32_t capacity) {
    if (command == nullptr || sizeIn < 5 || sizeIn > 511) return kInvalidArgument;
    const auto* bytes = static_cast<const uint8_t*>(command);
    record("Control_Command " + hex(protocol::readU16(bytes), 4));
    Board* board = find(handle);
    if (board == nullptr) return kInvalidHandle;
    if (cameraRate(*board) != board->grabberRate) return 0x80332007;  // the channel failed
    return board->transport->transaction(bytes, sizeIn, static_cast<uint8_t*>(reply), capacity,
                                         board->commandTimeout);
}

#ifndef TESSIPORT_DOUBLE_WITHOUT_TRANSFER_PARAMETERS
uint32_t Set_Transfer_Parameters(uint32_t handle, const void* values, uint32_t length) {
    if (values == nullptr || length < 4) return kInvalidArgument;
    const uint32_t rate = *static_cast<const uint32_t*>(values);
    record("Set_Transfer_Parameters " + std::to_string(rate));
    Board* board = find(handle);
    if (board == nullptr) return kInvalidHandle;
    const char* refused = std::getenv("TESSIPORT_DOUBLE_REFUSE");
    if (refused != nullptr && listed(refused, std::to_string(rate))) return kInvalidArgument;
    if (cameraRate(*board) == board->grabberRate) {
        protocol::Request request = protocol::makeRequest(protocol::cmd::SET_CL_BAUDRATE, 9);
        protocol::writeU32(&request.bytes[4], rate);
        uint8_t reply[protocol::cap::GET_CL_BAUDRATE] = {};
        const uint32_t result =
            board->transport->transaction(request.data(), request.size, reply, sizeof reply, 1000);
        if (result != 0) return result;
    }
    board->grabberRate = rate;
    return 0;
}
#endif

}  // extern "C"
