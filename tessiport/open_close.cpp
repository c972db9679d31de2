// Opening and closing boards: Open_Cam_Ext, Open_Cam and Close_Cam.

#include <cstdio>
#include <cstring>
#include <mutex>

#include "tessiport/com_port_channel.h"
#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/link_setup.h"
#include "tessiport/os_version.h"
#include "tessiport/process_attach.h"
#include "tessiport/serial_binding.h"

namespace tessiport {

namespace {

constexpr uint32_t kFirstHandle = 0x100;
constexpr size_t kNameLimit = 100;
constexpr uint32_t kDefaultBaudRate = 9600;

uint32_t valueOf(uint32_t handle) {
    return handle != 0 ? handle : 1;
}

// Frees a reserved entry after a failed open and clears the caller's handle value.
uint32_t failOpen(DriverEntry& entry, uint32_t* handle, uint32_t result) {
    std::lock_guard lock(driver_entry_crisec);
    releaseEntry(entry);
    *handle = 0;
    return result;
}

// The argument checks; they leave the caller's handle value as it is. `name` receives the
// serial library's name when INITMODE_DLL_NAME is set.
uint32_t checkArguments(uint32_t initmode, uint32_t value, const KM4_OpenStruct* open,
                        char (&name)[kNameLimit + 1]) {
    if (!(initmode & QEL_KM4_CL_ONLY_SERIAL_INIT)) {
        LogMessage(level::kError, value,
                   "Open_Cam_Ext: QEL_KM4_CL_ONLY_SERIAL_INIT flag must be set in initmode");
        return TP_ERR_INVALID_ARGUMENT;
    }
    // An IMAQ open takes its session from the open structure.
    if ((initmode & (INITMODE_DLL_NAME | INITMODE_IMAQ)) && open == nullptr) {
        LogMessage(level::kError, value, "Open_Cam_Ext: KM4_OpenStruct must be valid");
        return TP_ERR_INVALID_ARGUMENT;
    }
    if (!(initmode & INITMODE_DLL_NAME))
        return 0;
    if (open->cl_ser_file_name == nullptr) {
        LogMessage(level::kError, value,
                   "Open_Cam_Ext: cl_ser_file_name in KM4_OpenStruct must be valid");
        return TP_ERR_INVALID_ARGUMENT;
    }
    const size_t length = strnlen(open->cl_ser_file_name, kNameLimit);
    std::memcpy(name, open->cl_ser_file_name, length);
    name[length] = '\0';
    if (length == 0 || length == kNameLimit) {
        LogMessage(level::kError, value,
                   "Open_Cam_Ext: stringlength of cl_ser_file_name in KM4_OpenStruct");
        return TP_ERR_INVALID_ARGUMENT;
    }
    LogMessage(level::kInfo, value, "Open_Cam_Ext: dll_name found %s", name);
    return 0;
}

// Opens the channel of a reserved entry that Get_Serial_Functions has bound.
uint32_t openChannel(DriverEntry& entry, uint32_t board, uint32_t value,
                     const KM4_OpenStruct* open) {
    if (entry.initmode & INITMODE_IMAQ) {
        entry.serialRef = reinterpret_cast<SerialRef>(uintptr_t(open->imaq_serialref));
        LogMessage(level::kInfo, value, "Open_Cam_Ext: use imaq serialref");
        return 0;
    }
    if (entry.comPortNumber >= 1) {
        TransferParametersBlock parameters;
        parameters.baudrate = kDefaultBaudRate;
        get_param_file(&parameters);
        const uint32_t identified =
            openComPort(entry, entry.comPortNumber, parameters.baudrate);
        if (entry.comPort == nullptr) {
            LogMessage(level::kError, value, "Open_Cam_Ext: Cannot open %s", entry.libraryPath);
            return TP_ERR_HANDLE;
        }
        if (identified != 0 &&
            scan_comport_baudrate(*entry.comPort, uint32_t(entry.comPortNumber)) != 0) {
            LogMessage(level::kError, value, "Open_Cam_Ext: Cannot find camera on %s",
                       entry.libraryPath);
            return TP_ERR_HANDLE;
        }
        entry.serialRef = reinterpret_cast<SerialRef>(intptr_t(-1));
        return 0;
    }
    LogMessage(level::kInfo, value, "Open_Cam_Ext: call pclSerialInit");
    if (entry.pclSerialInit == nullptr || entry.pclSerialInit(board, &entry.serialRef) < 0) {
        LogMessage(level::kError, value, "Open_Cam_Ext: Cannot open serial Cameralink Device");
        return TP_ERR_HANDLE;
    }
    return 0;
}

// Gives an entry whose channel is open its handle and defaults; from now on transactions pass
// (the connection-tested open sends its set-up commands through Control_Command).
void fillEntry(DriverEntry& entry, uint32_t board, uint32_t flags, uint32_t handle) {
    std::lock_guard lock(driver_entry_crisec);
    entry.board = entry.comPortNumber >= 1 ? entry.comPortNumber : int32_t(board);
    entry.initmode = flags;
    entry.handle = handle;
    entry.commandTimeout = 200;
    entry.imageTimeout = 3000;
    entry.transferTimeout = 200;
    entry.transfer = TransferParametersBlock{};
    entry.grabberRate = entry.transfer.baudrate;
    entry.channelReady = true;
}

void finishOpen(DriverEntry& entry) {
    std::lock_guard lock(driver_entry_crisec);
    entry.openCount = 1;
    entry.state = EntryState::Open;
    notifyEntryChange();
}

enum class OpenStep { Done, Reserved, TestConnection };

// Under the lock: an open of a board already open only counts; an open of an open handle tests
// its connection; otherwise a free entry is reserved. An entry being opened or closed is waited
// for first, so that two opens of one board never make two entries.
OpenStep lookUpOrReserve(uint32_t board, uint32_t* handle, uint32_t& result, DriverEntry*& entry) {
    const uint32_t given = *handle;
    std::unique_lock lock(driver_entry_crisec);
    for (;;) {
        uint32_t value = given;
        if (given == 0) {
            if (DriverEntry* opened = findBoard(int32_t(board))) {
                if (opened->state != EntryState::Open) {
                    waitUntilSettled(lock, *opened);
                    continue;
                }
                *handle = opened->handle;
                ++opened->openCount;
                LogMessage(level::kError, *handle,
                           "Open_Cam_Ext: Board already opened Handle 0x%x", *handle);
                result = 0;
                return OpenStep::Done;
            }
            value = kFirstHandle + board;
        }
        if (DriverEntry* taken = findTakenEntry(value)) {
            if (taken->state != EntryState::Open) {
                waitUntilSettled(lock, *taken);
                continue;
            }
            *handle = value;
            return OpenStep::TestConnection;
        }
        entry = reserveFreeEntry(value, int32_t(board));
        if (entry == nullptr) {
            LogMessage(level::kError, value, "Open_Cam_Ext: No free entry in driverlist found");
            *handle = 0;
            result = TP_ERR_NO_FREE_ENTRY;
            return OpenStep::Done;
        }
        *handle = value;
        return OpenStep::Reserved;
    }
}

}  // namespace

}  // namespace tessiport

using namespace tessiport;

extern "C" uint32_t Open_Cam_Ext(uint32_t initmode, uint32_t* handle, KM4_OpenStruct* open) {
    const HostReportsOnReturn reportsOnReturn;
    const uint32_t given = handle != nullptr ? *handle : 0;
    LogMessage(level::kInfo, valueOf(given), "Open_Cam_Ext(%x,%x,%x)", initmode, given,
               uint32_t(reinterpret_cast<uintptr_t>(open)));
    if (handle == nullptr) {
        LogMessage(level::kError, 1, "Open_Cam_Ext: handle must be valid");
        return TP_ERR_INVALID_ARGUMENT;
    }
    const uint32_t board = initmode & INITMODE_BOARD_MASK;
    const uint32_t flags = initmode & ~INITMODE_BOARD_MASK;
    char name[kNameLimit + 1] = {};
    if (const uint32_t refused = checkArguments(initmode, valueOf(given), open, name))
        return refused;

    // Without the shared block the library has no place for its log and its paths.
    if (!operatingSystemSupported() || !processAttached()) {
        LogMessage(level::kError, valueOf(given), "Open_Cam_Ext: Driver is not built for this OS");
        *handle = 0;
        return TP_ERR_OS_NOT_SUPPORTED;
    }

    DriverEntry* entry = nullptr;
    uint32_t result = 0;
    switch (lookUpOrReserve(board, handle, result, entry)) {
    case OpenStep::Done:
        return result;
    case OpenStep::TestConnection:
        LogMessage(level::kInfo, *handle, "Open_Cam_Ext: handle was open, test connection");
        return testOpenConnection(*handle, handle);
    case OpenStep::Reserved:
        break;
    }

    // The entry is reserved: nothing else touches it until its channel is ready.
    const uint32_t value = *handle;
    entry->initmode = flags;
    entry->comPortNumber = 0;
    const uint32_t bound = Get_Serial_Functions(
        *entry, (flags & INITMODE_DLL_NAME) ? name : nullptr, driver_entry_crisec);
    if (bound != 0)
        return failOpen(*entry, handle, bound | 0x00330000u);
    if (const uint32_t failed = openChannel(*entry, board, value, open))
        return failOpen(*entry, handle, failed);

    fillEntry(*entry, board, flags, value);
    if (flags & INITMODE_NO_CONNECTION_TEST) {
        finishOpen(*entry);
        LogMessage(level::kInfo, value, "Open_Cam_Ext: init without connection test");
        return 0;
    }
    const uint32_t tested = completeTestedOpen(*entry);
    if (tested != 0) {
        std::unique_lock lock(driver_entry_crisec);
        closeEntry(lock, *entry);
        *handle = 0;
        return tested;
    }
    finishOpen(*entry);
    LogMessage(level::kInfo, value, "Open_Cam_Ext: done succesfully");
    return 0;
}

extern "C" uint32_t Open_Cam(uint32_t initmode, uint32_t* handle) {
    return Open_Cam_Ext(initmode, handle, nullptr);
}

extern "C" uint32_t Close_Cam(uint32_t* handle) {
    const HostReportsOnReturn reportsOnReturn;
    if (handle == nullptr || *handle == 0) {
        LogMessage(level::kInfo, 1, "Close_Cam: driver was closed before");
        return 0;
    }
    const uint32_t value = *handle;
    LogMessage(level::kInfo, value, "Close_Cam(%x)", value);
    {
        std::unique_lock lock(driver_entry_crisec);
        *handle = 0;
        DriverEntry* entry = findTakenEntry(value);
        // A board still being opened is closed once its open is done.
        while (entry != nullptr && entry->state == EntryState::Opening) {
            waitUntilSettled(lock, *entry);
            entry = findTakenEntry(value);
        }
        if (entry == nullptr || entry->state != EntryState::Open) {
            LogMessage(level::kError, value, "Close_Cam: HANDLE 0x%x not valid", value);
            return TP_ERR_HANDLE;
        }
        if (entry->openCount >= 2) {
            --entry->openCount;
            return 0;
        }
        closeEntry(lock, *entry);
    }
    LogMessage(level::kInfo, 0, "Close_Cam done succesfully");
    return 0;
}
