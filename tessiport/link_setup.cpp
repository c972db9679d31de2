#include "tessiport/link_setup.h"

#include <array>
#include <cstring>
#include <mutex>
#include <utility>

#include "protocol/commands.h"
#include "protocol/reply_fields.h"
#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"

namespace tessiport {

namespace {

// Rates by bit number of the Camera Link baud-rate mask.
constexpr std::array<uint32_t, 8> kRatesByBit = {9600,   19200,  38400,  57600,
                                                 115200, 230400, 460800, 921600};
constexpr uint32_t kUnusedRatesCleared = 0xFFFFFF17;
constexpr uint32_t kSlowRate = 9600;
constexpr int kHighestSettableBit = 4;  // 115200
constexpr platform::Milliseconds kScanSettle{200};
constexpr platform::Milliseconds kRateSwitchSettle{150};
constexpr uint16_t kCameraLinkInterface = 2;

constexpr uint32_t kCameraInfoCapacity = 153;
constexpr uint32_t kCameraTypeCapacity = 23;
constexpr uint32_t kBaudRateCapacity = 9;
constexpr uint32_t kClConfigCapacity = 12;
constexpr uint32_t kOutputFormatCapacity = 13;
constexpr uint32_t kFirmwareCapacity = 207;

platform::Clock* clockOverride = nullptr;

uint32_t transact(DriverEntry& entry, const protocol::Request& request, uint8_t* reply,
                  uint32_t capacity) {
    return Control_Command(entry.handle, request.data(), request.size, reply, capacity);
}

uint32_t sendSimple(DriverEntry& entry, uint16_t code, uint8_t* reply, uint32_t capacity) {
    return transact(entry, protocol::simpleRequest(code), reply, capacity);
}

uint32_t getCameraType(DriverEntry& entry) {
    uint8_t reply[kCameraTypeCapacity] = {};
    return sendSimple(entry, protocol::cmd::GET_CAMERA_TYPE, reply, sizeof reply);
}

uint32_t getCameraBaudRate(DriverEntry& entry) {
    uint8_t reply[kBaudRateCapacity] = {};
    return sendSimple(entry, protocol::cmd::GET_CL_BAUDRATE, reply, sizeof reply);
}

// Bit number of a rate in the mask, or -1.
int rateBit(uint32_t rate) {
    for (size_t bit = 0; bit < kRatesByBit.size(); ++bit)
        if (kRatesByBit[bit] == rate) return int(bit);
    return -1;
}

void setGrabberRate(DriverEntry& entry, int bit) {
    {
        std::lock_guard line(entry.lineMutex);
        entry.pclSetBaudRate(entry.serialRef, 1u << bit);
    }
    std::lock_guard lock(driver_entry_crisec);
    entry.grabberRate = kRatesByBit[size_t(bit)];
}

// The rate the entry holds and the one the grabber was last set to.
std::pair<uint32_t, uint32_t> entryRates(const DriverEntry& entry) {
    std::lock_guard lock(driver_entry_crisec);
    return {entry.transfer.baudrate, entry.grabberRate};
}

bool canSwitchRates(const DriverEntry& entry) {
    return entry.pclSetBaudRate != nullptr && entry.pclGetSupportedBaudRates != nullptr;
}

}  // namespace

platform::Clock& linkClock() { return clockOverride ? *clockOverride : platform::realClock(); }
void setLinkClock(platform::Clock* clock) { clockOverride = clock; }

uint32_t usableGrabberRates(DriverEntry& entry) {
    if (entry.pclGetSupportedBaudRates == nullptr) return 0;
    uint32_t mask = 0;
    std::lock_guard line(entry.lineMutex);
    if (entry.pclGetSupportedBaudRates(entry.serialRef, &mask) < 0) return 0;
    return mask & kUnusedRatesCleared;
}

uint32_t scan_camera_baudrate(DriverEntry& entry) {
    const uint32_t value = entry.handle;
    LogMessage(level::kInfo, value, "scan_camera_baudrate: start with 9600baud");
    uint32_t result = getCameraType(entry);

    if (canSwitchRates(entry)) {
        const uint32_t mask = usableGrabberRates(entry);
        uint32_t current = kSlowRate;
        if (result != 0) {
            for (int bit = 1; bit < int(kRatesByBit.size()); ++bit) {
                if ((mask & (1u << bit)) == 0) continue;
                current = kRatesByBit[size_t(bit)];
                LogMessage(level::kInfo, value, "scan_camera_baudrate: test next %dbaud",
                           int(current));
                setGrabberRate(entry, bit);
                linkClock().sleepFor(kScanSettle);
                result = getCameraType(entry);
                if (result == 0) break;
            }
        }
        const auto [entryRate, grabberRate] = entryRates(entry);
        if (result == 0) {
            std::lock_guard lock(driver_entry_crisec);
            entry.transfer.baudrate = current;
        } else if (grabberRate != entryRate) {
            // Nothing answered: put the grabber back where the entry says it is, so the entry
            // never claims a rate the channel does not use.
            const int bit = rateBit(entryRate);
            if (bit >= 0) setGrabberRate(entry, bit);
        }
    }

    LogMessage(level::kInfo, value, "scan_camera: baudrate set to %d",
               int(entryRates(entry).first));
    if (result == 0) {
        uint8_t info[kCameraInfoSize] = {};
        result = sendSimple(entry, protocol::cmd::GET_CAMERA_INFO, info, kCameraInfoCapacity);
        std::lock_guard lock(driver_entry_crisec);
        std::memcpy(entry.cameraInfo, info, sizeof info);
    }
    if (result != 0) LogMessage(level::kError, value, "scan_camera_baudrate failed");
    return result;
}

uint32_t scan_comport_baudrate(protocol::ComTransport& port, uint32_t portNumber) {
    const uint32_t logValue = portNumber;
    LogMessage(level::kInfo, logValue, "scan_comport_baudrate: start with 9600baud");
    uint32_t result = port.configureAndIdentify(kRatesByBit[0]);
    for (size_t bit = 1; result != 0 && bit < kRatesByBit.size(); ++bit) {
        LogMessage(level::kInfo, logValue, "scan_camera_baudrate: test next %dbaud",
                   int(kRatesByBit[bit]));
        result = port.configureAndIdentify(kRatesByBit[bit]);
    }
    if (result != 0) return result;
    port.debugOff();
    port.drain();
    return 0;
}

uint32_t set_baudrate(DriverEntry& entry, uint32_t rate) {
    const uint32_t value = entry.handle;
    if (!canSwitchRates(entry)) {
        LogMessage(level::kError, value,
                   "set_baudrate: baudrate setting not possible for this interface");
        return TP_ERR_BAUDRATE_NOT_POSSIBLE;
    }
    const uint32_t mask = usableGrabberRates(entry);
    const int bit = rateBit(rate);
    if (bit < 0 || bit > kHighestSettableBit || (bit != 0 && (mask & (1u << bit)) == 0)) {
        LogMessage(level::kError, value, "set_baudrate: selected baudrate not valid");
        return TP_ERR_INVALID_ARGUMENT;
    }

    uint32_t result = getCameraBaudRate(entry);
    if (result != 0) {
        LogMessage(level::kError, value, "set_baudrate: KM4_Get_CL_Baudrate error 0x%x com 0x%x",
                   result, unsigned(protocol::cmd::GET_CL_BAUDRATE));
        if (entry.initmode & INITMODE_NO_CONNECTION_TEST) {
            // The camera may simply be at another rate on an untested link: follow the host.
            LogMessage(level::kError, value, "set_baudrate: set grabber baudrate to %d",
                       int(rate));
            setGrabberRate(entry, bit);
        }
        return result;
    }

    protocol::Request setRate = protocol::makeRequest(protocol::cmd::SET_CL_BAUDRATE, 9);
    protocol::writeU32(&setRate.bytes[4], rate);
    uint8_t reply[kBaudRateCapacity] = {};
    transact(entry, setRate, reply, sizeof reply);  // answered at the old rate, if at all
    linkClock().sleepFor(kRateSwitchSettle);
    setGrabberRate(entry, bit);

    result = getCameraBaudRate(entry);
    if (result != 0) {
        setGrabberRate(entry, 0);
        return result;
    }
    return 0;
}

uint32_t get_actual_cl_config(DriverEntry& entry) {
    const uint32_t value = entry.handle;
    uint8_t config[kClConfigCapacity] = {};
    uint32_t result = sendSimple(entry, protocol::cmd::GET_CL_CONFIGURATION, config, sizeof config);
    if (result == 0) result = protocol::requireReply(config, sizeof config, 11, TP_ERR_REPLY_SHORT);
    if (result != 0) {
        LogMessage(level::kError, value,
                   "get_actual_cl_config: GET_CL_CONFIGURATION failed with 0x%x", result);
    } else {
        std::lock_guard lock(driver_entry_crisec);
        entry.transfer.ClockFrequency = protocol::readU32(&config[4]);
        entry.transfer.CCline = config[8];
        entry.transfer.DataFormat = config[9];
        entry.transfer.Transmit = config[10];
    }

    protocol::Request getFormat =
        protocol::makeRequest(protocol::cmd::GET_INTERFACE_OUTPUT_FORMAT, 7);
    protocol::writeU16(&getFormat.bytes[4], kCameraLinkInterface);
    uint8_t format[kOutputFormatCapacity] = {};
    if (transact(entry, getFormat, format, sizeof format) == 0 &&
        protocol::requireReply(format, sizeof format, 10, TP_ERR_REPLY_SHORT) == 0) {
        std::lock_guard lock(driver_entry_crisec);
        entry.transfer.DataFormat |= protocol::readU16(&format[6]);
        entry.outputFormatInfo = protocol::readU16(&format[8]);
    }
    return 0;
}

uint32_t set_cl_config(DriverEntry& entry, uint32_t clockFrequency, uint32_t ccLine,
                       uint32_t dataFormat, uint32_t transmit) {
    const uint32_t value = entry.handle;
    LogMessage(level::kInfo, value,
               "set_cl_config: Set_CL_Configuration freq:%dMHz data %08x line %04x transmit %02x",
               int(clockFrequency / 1000000), dataFormat & 0xFF, ccLine & 0xFF, transmit & 0xFF);

    protocol::Request config = protocol::makeRequest(protocol::cmd::SET_CL_CONFIGURATION, 12);
    protocol::writeU32(&config.bytes[4], clockFrequency);
    config.bytes[8] = uint8_t(ccLine);
    config.bytes[9] = uint8_t(dataFormat);
    config.bytes[10] = uint8_t(transmit);
    uint8_t reply[kClConfigCapacity] = {};
    uint32_t result = transact(entry, config, reply, sizeof reply);
    if (result != 0) {
        LogMessage(level::kError, value, "set_cl_config: SET_CL_CONFIGURATION failed with 0x%x",
                   result);
        return result;
    }

    protocol::Request format =
        protocol::makeRequest(protocol::cmd::SET_INTERFACE_OUTPUT_FORMAT, 13);
    protocol::writeU16(&format.bytes[4], kCameraLinkInterface);
    protocol::writeU16(&format.bytes[6], uint16_t(dataFormat & 0xFF00));
    uint8_t formatReply[kOutputFormatCapacity] = {};
    result = transact(entry, format, formatReply, sizeof formatReply);
    // A camera without the command answers 0x80001020, in whatever module byte.
    if (result == 0 || (result & protocol::kCamUnknownCommandMask) == protocol::kCamPagedUnsupportedMask)
        return 0;
    LogMessage(level::kError, value,
               "set_cl_config: SCCMOS SET_INTERFACE_OUTPUT_FORMAT failed with 0x%x", result);
    return result;
}

uint32_t get_firmwarerev(DriverEntry& entry) {
    const uint32_t value = entry.handle;
    uint8_t reply[kFirmwareCapacity] = {};
    uint32_t result = sendSimple(entry, protocol::cmd::GET_FIRMWARE_VERSIONS, reply, sizeof reply);
    // A reply that carries fewer records than it announces is short.
    std::optional<protocol::FirmwareRecords> firmware;
    if (result == 0) firmware = protocol::firmwareRecordsOf(reply, sizeof reply);
    if (result == 0 && !firmware) result = TP_ERR_REPLY_SHORT;
    if (result != 0) {
        LogMessage(level::kError, value, "get_firmwarerev: err 0x%x", result);
        return result;
    }
    bool mainUp = false;
    bool mainFpga = false;
    std::lock_guard lock(driver_entry_crisec);
    for (const protocol::FirmwareRecord& record : firmware->records) {
        if (mainUp && mainFpga) break;
        // Names are matched by their start: the camera may add a suffix.
        const uint32_t revision = uint32_t(record.version());
        if (!mainUp && record.name.starts_with("Main uP")) {
            LogMessage(level::kFirmwareRevision, value, "camera mainproz= 0x%02x%02x", record.major,
                       record.minor);
            entry.firmwareRevision |= revision;
            mainUp = true;
        } else if (!mainFpga && record.name.starts_with("Main FP")) {
            LogMessage(level::kFirmwareRevision, value, "camera mainfpga= 0x%02x%02x", record.major,
                       record.minor);
            entry.firmwareRevision |= revision << 16;
            mainFpga = true;
        }
    }
    return 0;
}

}  // namespace tessiport
