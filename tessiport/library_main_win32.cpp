// tessiport.dll's entry point and the exported entries of its module-definition file.
//
// Windows calls DllMain under the loader lock, where nothing may load or unload a library, wait,
// or take a lock that another thread may hold (that thread may be waiting for the loader lock).
// The process attach proper needs all of that: the common application-data folder comes from the
// shell, the attach of other processes is waited for, the log and its lock are set up. So DllMain
// only opens or creates the shared block, with kernel32 calls, and refuses the load when it
// cannot; each export runs the rest of the attach once, on its first call, outside the loader
// lock. The detach cannot be put off: it closes what is still open without unloading the
// grabbers' libraries and without waiting for anything (detachUnderLoaderLock).
#include <windows.h>

#include <mutex>

#include "tessiport/com_port_channel.h"
#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/process_attach.h"

namespace {

using namespace tessiport;

void attachOnFirstUse() {
    static std::once_flag once;
    std::call_once(once, [] { attachProcess(); });
}

// The channel of a board the host left open, closed where it stands. Its grabber library stays
// loaded until the process ends: FreeLibrary is not allowed here.
void closeChannelInPlace(DriverEntry& entry) {
    if (entry.comPort != nullptr) {
        closeComPort(entry);
    } else if (entry.pclSerialClose != nullptr && entry.serialRef != nullptr) {
        try {
            entry.pclSerialClose(entry.serialRef);
        } catch (...) {
            // A fault inside the grabber's close must not take the host down.
        }
    }
}

// At the end of the process the other threads are gone and the grabbers' libraries have had
// their own detach already: their channels are left to the system. When the host unloads the
// library, the channels still open are closed. Either way the entries are marked closing, so
// that detachProcess only counts the process out and ends or closes the log.
void detachUnderLoaderLock(bool processEnding) {
    if (!processAttached()) {
        closeUnattachedBlock();
        return;
    }
    // Held by another thread: a host that unloads the library during a call, or a thread that
    // ended holding it. Nothing is touched then; the process's count stays in the block.
    std::unique_lock lock(driver_entry_crisec, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    for (DriverEntry& entry : driverlist()) {
        if (entry.handle == 0 || entry.state != EntryState::Open)
            continue;
        if (!processEnding)
            closeChannelInPlace(entry);
        entry.state = EntryState::Closing;
    }
    detachProcess();
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // Thread attach and detach have nothing to do.
            ::DisableThreadLibraryCalls(module);
            // Windows follows a refused attach with the detach, which lets go of what was had.
            return openSharedBlock() ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            // `reserved` is set when the process ends, empty for FreeLibrary.
            detachUnderLoaderLock(reserved != nullptr);
            return TRUE;
        default:
            return TRUE;
    }
}

// Each entry runs the attach once, then the export of the same name.
#define TESSIPORT_ENTRY(name, parameters, arguments)             \
    extern "C" uint32_t TESSIPORT_CALL entry_##name parameters { \
        attachOnFirstUse();                                      \
        return name arguments;                                   \
    }

using U = uint32_t;
TESSIPORT_ENTRY(Open_Cam, (U initmode, U* handle), (initmode, handle))
TESSIPORT_ENTRY(Close_Cam, (U * handle), (handle))
TESSIPORT_ENTRY(Check_Device_Availability, (U value), (value))
TESSIPORT_ENTRY(Open_Cam_Ext, (U initmode, U* handle, KM4_OpenStruct* open),
                (initmode, handle, open))
TESSIPORT_ENTRY(Control_Command, (U handle, const void* command, U size_in, void* reply, U cap),
                (handle, command, size_in, reply, cap))
TESSIPORT_ENTRY(Set_Timeouts, (U handle, const U* values, U length), (handle, values, length))
TESSIPORT_ENTRY(Get_Generation_Count, (U value, U* count), (value, count))
TESSIPORT_ENTRY(Get_Image_Queued, (U h, U a, U b, U c, U d, U e, U f, U g),
                (h, a, b, c, d, e, f, g))
TESSIPORT_ENTRY(Set_Image_Buffer, (U h, U a, U b, U c, U d, U e, U f, U g, U i),
                (h, a, b, c, d, e, f, g, i))
TESSIPORT_ENTRY(Cancel_Images, (U h), (h))
TESSIPORT_ENTRY(Get_Pending_Buffer, (U value, U* count), (value, count))
TESSIPORT_ENTRY(Get_Transfer_Parameters, (U h, void* buffer, U length), (h, buffer, length))
TESSIPORT_ENTRY(Set_Transfer_Parameters, (U h, const void* buffer, U length), (h, buffer, length))
TESSIPORT_ENTRY(Set_Image_Parameters, (U h, U a, U b), (h, a, b))
TESSIPORT_ENTRY(Get_Byterate_Data, (U a, U b, U c), (a, b, c))
TESSIPORT_ENTRY(Set_Driver_Event, (U a, U b, U c), (a, b, c))
TESSIPORT_ENTRY(Enable_Error_Messages, (U mode, TP_ErrorCallback callback), (mode, callback))
TESSIPORT_ENTRY(Enable_Message_Log, (U bits, const char* file_name), (bits, file_name))
TESSIPORT_ENTRY(Save_Protocol, (U a, U b, U c), (a, b, c))
TESSIPORT_ENTRY(Set_Protocol, (U a, U b, U c), (a, b, c))
TESSIPORT_ENTRY(Get_Protocol, (U a, U b, U c), (a, b, c))
TESSIPORT_ENTRY(Get_Camera_Error, (), ())
TESSIPORT_ENTRY(Set_buffer_management, (U h, U a), (h, a))
TESSIPORT_ENTRY(Allocate_Framebuffer, (U h, U a, U b), (h, a, b))
TESSIPORT_ENTRY(Free_Framebuffer, (U h, U a), (h, a))
TESSIPORT_ENTRY(Start_Aquire, (U h, U a, U b), (h, a, b))
TESSIPORT_ENTRY(Stop_Aquire, (U h), (h))
TESSIPORT_ENTRY(Wait_for_image, (U h, U a), (h, a))
TESSIPORT_ENTRY(Unblock_image_buffer, (U h, U a), (h, a))
TESSIPORT_ENTRY(Get_image_buffer_adr, (U h, U a, U b, U c), (h, a, b, c))
TESSIPORT_ENTRY(Register_User_Interface, (const TP_UserInterface* ui), (ui))
