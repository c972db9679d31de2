// Control_Command, Set_Timeouts and Get_Camera_Error.

#include "tessiport/control_command.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "protocol/reply_reader.h"
#include "protocol/telegram.h"
#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"

namespace tessiport {

std::atomic<uint32_t> lastCameraError{0};

namespace {

constexpr uint16_t kCommandSentUnchanged = 0x011A;
constexpr uint16_t kArmCamera = 0x0A14;
constexpr uint32_t kPreReadCount = 100;
constexpr uint32_t kPreReadTimeoutMs = 50;
constexpr platform::Milliseconds kImaqWritePause{10};

uint32_t twice(uint32_t timeoutMs) {
    return uint32_t(std::min<uint64_t>(2ull * timeoutMs, UINT32_MAX));
}

uint32_t refValue(SerialRef ref) {
    return uint32_t(reinterpret_cast<uintptr_t>(ref));
}

// Empties the channel before a command: the flush function, or reads when there is none and the
// board was opened without the connection test.
bool clearChannel(const DriverEntry& entry, uint32_t handle) {
    if (entry.initmode & INITMODE_IMAQ || entry.pclSerialFlush != nullptr) {
        int32_t result = 0;
        if (entry.pclSerialFlush != nullptr)
            result = entry.pclSerialFlush(entry.serialRef);
        if (!(entry.initmode & INITMODE_IMAQ))
            LogMessage(level::kTrace, handle, "Control_Command: serialFlush called");
        if (result < 0) {
            LogMessage(level::kError, handle, "Control_Command: serialFlush returns %d", result);
            return false;
        }
        return true;
    }
    if (!(entry.initmode & INITMODE_NO_CONNECTION_TEST))
        return true;
    char scratch[kPreReadCount];
    for (int reads = 0;; ++reads) {
        if (reads == kPreReadLimit) {
            LogMessage(level::kTrace, handle, "Control_Command: pre read stopped after %d reads",
                       reads);
            break;
        }
        uint32_t count = kPreReadCount;
        entry.pclSerialRead(entry.serialRef, scratch, &count, kPreReadTimeoutMs);
        LogMessage(level::kTrace, handle, "Control_Command: pre read %d", count);
        if (count == 0)
            break;
    }
    return true;
}

// The channel's reads with the transaction's log lines; remembers the last read's result.
class GrabberReplySource : public protocol::ByteSource {
public:
    GrabberReplySource(DriverEntry& entry, uint32_t handle, uint16_t code, uint32_t timeoutMs)
        : entry_(entry), handle_(handle), code_(code), timeoutMs_(timeoutMs) {}

    bool read(protocol::ReadPart part, uint8_t* buffer, size_t offset, size_t count,
              size_t& got) override {
        uint32_t moved = uint32_t(count);
        result_ = entry_.pclSerialRead(entry_.serialRef, reinterpret_cast<char*>(buffer + offset),
                                       &moved, timeoutMs_);
        got = moved;
        if (part == protocol::ReadPart::Header && result_ >= 0) {
            const uint16_t length = protocol::readU16(buffer + 2);
            if (code_ == kArmCamera && length != 5)
                LogMessage(level::kTelegram, handle_, "Control_Command: arm returned wrong size %d ",
                           length);
        }
        if (part == protocol::ReadPart::Body && !(entry_.initmode & INITMODE_IMAQ)) {
            const uint32_t held = uint32_t(offset + std::min<size_t>(moved, count));
            LogMessage(level::kTelegram, handle_, "Control_Command: bytes done %d 0x%04x", held,
                       held);
        }
        return result_ >= 0;
    }
    int32_t lastResult() const { return result_; }

private:
    DriverEntry& entry_;
    uint32_t handle_;
    uint16_t code_;
    uint32_t timeoutMs_;
    int32_t result_ = 0;
};

uint32_t readFailed(std::unique_lock<std::recursive_mutex>& lock, uint32_t handle, int32_t result) {
    lock.unlock();
    LogMessage(level::kError, handle, "Control_Command: SerialRead() returns %d", result);
    return TP_ERR_CHANNEL;
}

// Error reply, reply code and checksum; copies the reply (without checksum) on success.
uint32_t validate(const uint8_t* buffer, uint32_t held, uint16_t commandCode, uint32_t handle,
                  uint8_t* reply, uint32_t capacity) {
    uint32_t result = 0;
    lastCameraError = 0;
    const uint16_t replyCode = protocol::readU16(buffer);
    const uint16_t expected = uint16_t(commandCode | protocol::kReplyBit);
    if ((replyCode & protocol::kErrorReplyMask) == protocol::kErrorReplyMask) {
        result = protocol::readU32(buffer + 4);
        lastCameraError = result;
    }
    if (result == 0 && replyCode != expected) {
        result = TP_ERR_REPLY_CODE;
        LogMessage(level::kError, handle, "Control_Command: wrong command return 0x%x != 0x%x",
                   replyCode, expected);
    }
    uint32_t length = std::max<uint32_t>(capacity, 9);
    const uint32_t checked = protocol::test_checksum(buffer, held, length,
                                                     protocol::Variant::Library, &libraryLogSink());
    if (checked != 0)
        return checked;
    if (reply != nullptr)
        std::memcpy(reply, buffer, std::min(length - 1, capacity));
    return result;
}

}  // namespace

uint32_t grabberTransaction(uint32_t handle, const uint8_t* command, uint32_t size_in,
                            uint8_t* reply, uint32_t capacity) {
    std::unique_lock lock(driver_entry_crisec);
    EntryUse entry(handle, true);
    if (!entry) {
        lock.unlock();
        LogMessage(level::kError, handle, "Control_Command: HANDLE 0x%x not valid", handle);
        return TP_ERR_HANDLE;
    }
    // The line is this transaction's until the reply has been read: a rate change or a
    // reconnect on another thread waits for it.
    std::unique_lock line(entry->lineMutex);

    static_assert(protocol::grabberReaderRules().bufferSize == kWorkingBufferSize);
    uint8_t buffer[kWorkingBufferSize] = {};
    std::memcpy(buffer, command, size_in);
    const uint16_t code = protocol::readU16(buffer);
    uint32_t count = size_in;
    if (code != kCommandSentUnchanged) {
        const uint32_t added = protocol::add_checksum(buffer, count, protocol::Variant::Library);
        if (added != 0)
            return added;
    }
    LogMessage(level::kTrace, handle, "Control_Command: start= 0x%04x serialRef %x", code,
               refValue(entry->serialRef));
    logCommandDump(handle, buffer, count);

    if (!clearChannel(*entry, handle))
        return TP_ERR_CHANNEL;

    const uint32_t readTimeout = twice(entry->commandTimeout);
    uint32_t written = count;
    const int32_t wrote = entry->pclSerialWrite(entry->serialRef, reinterpret_cast<char*>(buffer),
                                                &written, entry->commandTimeout);
    if (entry->initmode & INITMODE_IMAQ)
        platform::realClock().sleepFor(kImaqWritePause);
    if (wrote < 0) {
        lock.unlock();
        LogMessage(level::kError, handle, "Control_Command: SerialWrite() returns %d", wrote);
        return TP_ERR_CHANNEL;
    }

    GrabberReplySource source(*entry, handle, code, readTimeout);
    size_t held = 0;
    if (!protocol::readReply(source, protocol::grabberReaderRules(), buffer, held))
        return readFailed(lock, handle, source.lastResult());
    line.unlock();
    lock.unlock();

    const uint32_t result = validate(buffer, uint32_t(held), code, handle, reply, capacity);
    if (result != TP_ERR_CHECKSUM) {
        // A whole reply came through: the camera talks at the rate the grabber is set to.
        std::lock_guard relock(driver_entry_crisec);
        entry->transfer.baudrate = entry->grabberRate;
    }
    logReplyDump(handle, buffer, std::min<uint32_t>(protocol::readU16(buffer + 2), uint32_t(held)));
    LogMessage(level::kTrace, handle, "Control_Command: Control_command end");
    return result;
}

}  // namespace tessiport

using namespace tessiport;

extern "C" uint32_t Control_Command(uint32_t handle, const void* command, uint32_t size_in,
                                    void* reply, uint32_t capacity) {
    const HostReportsOnReturn reportsOnReturn;
    if (size_in < 5 || size_in > 511) {
        LogMessage(level::kError, handle, "Control_Command: wrongvalue size_in %d", size_in);
        return TP_ERR_INVALID_ARGUMENT;
    }
    const auto* bytes = static_cast<const uint8_t*>(command);
    if (bytes == nullptr || protocol::readU16(bytes) == 0) {
        LogMessage(level::kError, handle, "Control_Command: wrongvalue command %d", 0);
        return TP_ERR_INVALID_ARGUMENT;
    }
    const uint16_t length = protocol::readU16(bytes + 2);
    if (length < 5 || length > 511 || length > size_in) {
        LogMessage(level::kError, handle, "Control_Command: wrongvalue command size %d", length);
        return TP_ERR_INVALID_ARGUMENT;
    }
    auto* replyBytes = static_cast<uint8_t*>(reply);
    if (replyBytes == nullptr)
        capacity = 0;

    {
        // The COM port stays open while this call uses it, and its line is this call's alone:
        // the transport's buffers serve one telegram at a time.
        EntryUse entry(handle, true);
        if (!entry) {
            LogMessage(level::kError, handle, "Control_Command: HANDLE 0x%x not valid", handle);
            return TP_ERR_HANDLE;
        }
        if (entry->comPort != nullptr) {
            uint32_t timeoutMs = 0;
            {
                std::lock_guard lock(driver_entry_crisec);
                timeoutMs = entry->commandTimeout;
            }
            std::lock_guard line(entry->lineMutex);
            return entry->comPort->transaction(bytes, size_in, replyBytes, capacity, timeoutMs);
        }
    }
    return grabberTransaction(handle, bytes, size_in, replyBytes, capacity);
}

extern "C" uint32_t Set_Timeouts(uint32_t handle, const uint32_t* values, uint32_t length) {
    const HostReportsOnReturn reportsOnReturn;
    if (values == nullptr)
        length = 0;
    uint32_t command = 0, image = 0, transfer = 0;
    {
        // The values are stored under the lock too: a transaction on another thread reads them.
        std::lock_guard lock(driver_entry_crisec);
        DriverEntry* entry = findEntry(handle);
        if (entry == nullptr) {
            LogMessage(level::kError, handle, "Set_Timeouts: HANDLE 0x%x not valid", handle);
            return TP_ERR_HANDLE;
        }
        if (length >= 4)
            entry->commandTimeout = values[0];
        if (length >= 8)
            entry->imageTimeout = values[1];
        if (length >= 12)
            entry->transferTimeout = values[2];
        command = entry->commandTimeout;
        image = entry->imageTimeout;
        transfer = entry->transferTimeout;
    }
    LogMessage(level::kTrace, handle, "Set_Timeouts: command %dms, image %dms, transfer %dms",
               command, image, transfer);
    return 0;
}

extern "C" uint32_t Get_Camera_Error(void) {
    return lastCameraError;
}
