// The image-acquisition exports, which a serial interface cannot serve, and the exports that only
// answer with fixed values.

#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"

namespace {

uint32_t notValid(const char* text, uint32_t handle) {
    tessiport::LogMessage(tessiport::level::kError, handle,
                          "%s: Function not valid in serial Interface", text);
    return TP_ERR_NOT_SERIAL_FUNCTION;
}

}  // namespace

extern "C" {

uint32_t Get_Image_Queued(uint32_t handle, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                          uint32_t, uint32_t) {
    return notValid("Get_Image_Queued", handle);
}
uint32_t Set_Image_Buffer(uint32_t handle, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                          uint32_t, uint32_t, uint32_t) {
    return notValid("Set_Image_Buffer", handle);
}
uint32_t Cancel_Images(uint32_t handle) { return notValid("Cancel_Images", handle); }
uint32_t Set_Image_Parameters(uint32_t handle, uint32_t, uint32_t) {
    return notValid("Set_Image_Parameters", handle);
}
// The log texts of these keep their historical spelling.
uint32_t Set_buffer_management(uint32_t handle, uint32_t) {
    return notValid("Set_buffer_managment", handle);
}
uint32_t Allocate_Framebuffer(uint32_t handle, uint32_t, uint32_t) {
    return notValid("Allocate_Framebuffer", handle);
}
uint32_t Free_Framebuffer(uint32_t handle, uint32_t) { return notValid("Free_Framebuffer", handle); }
uint32_t Start_Aquire(uint32_t handle, uint32_t, uint32_t) {
    return notValid("Start_Acquire", handle);
}
uint32_t Stop_Aquire(uint32_t handle) { return notValid("Stop_Acquire", handle); }
uint32_t Wait_for_image(uint32_t handle, uint32_t) { return notValid("Wait_for_image", handle); }
uint32_t Unblock_image_buffer(uint32_t handle, uint32_t) {
    return notValid("Unblock_image_buffer", handle);
}
uint32_t Get_image_buffer_adr(uint32_t handle, uint32_t, uint32_t, uint32_t) {
    return notValid("Get_image_buffer_adr", handle);
}

uint32_t Check_Device_Availability(uint32_t) { return 0; }
uint32_t Get_Generation_Count(uint32_t, uint32_t* count) {
    if (count != nullptr) *count = 1;
    return 0;
}
uint32_t Get_Pending_Buffer(uint32_t, uint32_t* count) {
    if (count != nullptr) *count = 0;
    return 0;
}
uint32_t Get_Byterate_Data(uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t Set_Driver_Event(uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t Save_Protocol(uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t Set_Protocol(uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t Get_Protocol(uint32_t, uint32_t, uint32_t) { return 0; }

}  // extern "C"
