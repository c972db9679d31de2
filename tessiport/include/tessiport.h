/*
 * tessiport: the camera's serial interface over a Camera Link frame grabber's serial library,
 * the IMAQ serial functions or a PC serial port. A host loads libtessiport.so at run time (or
 * links it), opens a board, runs command transactions on the handle and closes it.
 *
 * Layout on 64-bit systems: every value is a 32-bit unsigned integer (uint32_t) as on 32-bit
 * systems; buffers, handle variables and the open structure's name field are pointers
 * (pointer-sized). So on x86-64 KM4_OpenStruct is 48 bytes (cl_ser_file_name at offset 0,
 * imaq_serialref at 24) and TransferParameters 20 bytes. Every function returns 0 on success or
 * a 32-bit error code (bit 31 set). Plain C; usable from C and C++.
 *
 * On 32-bit Windows (tessiport.dll) pointers are 32-bit too: KM4_OpenStruct is ten 32-bit fields,
 * 40 bytes, cl_ser_file_name at offset 0 and imaq_serialref at 20.
 *
 * Use: Open_Cam_Ext (or Open_Cam) gives a handle; Set_Timeouts sets the command time-out;
 * Control_Command sends one command telegram (without checksum) and returns its reply; Close_Cam
 * ends it. A host may load the library with dlopen("libtessiport.so.1") and dlsym by these names,
 * or on Windows with LoadLibraryA("tessiport.dll") and GetProcAddress by name or fixed ordinal.
 */
#ifndef TESSIPORT_H
#define TESSIPORT_H

#include <stdint.h>

/* TESSIPORT_CALL: the calling convention of every export and of the callbacks a host passes in.
 * __stdcall on 32-bit Windows, the usual one for libraries that hosts bind by name or ordinal
 * (the library's module-definition file keeps the exported names undecorated); x86-64 and other
 * systems have a single convention. A host declares its function pointers and callbacks with it. */
#if defined(_WIN32) && !defined(_WIN64)
#define TESSIPORT_CALL __stdcall
#else
#define TESSIPORT_CALL
#endif

/* On Windows the module-definition file alone decides what the library exports. */
#if defined(__GNUC__) && !defined(_WIN32)
#define TESSIPORT_API __attribute__((visibility("default")))
#else
#define TESSIPORT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* initmode flags (bits 0-7: board number, the serial index passed to clSerialInit). */
#define INITMODE_BOARD_MASK 0x00FFu
#define INITMODE_ALLOW_COMPORT 0x0100u      /* PC serial ports may be offered and chosen */
#define QEL_KM4_CL_ONLY_SERIAL_INIT 0x1000u /* must be set */
#define INITMODE_DLL_NAME 0x2000u           /* KM4_OpenStruct names the serial library */
#define INITMODE_NO_CONNECTION_TEST 0x8000u /* open without testing the camera connection */
#define INITMODE_IMAQ 0x20000u              /* use the IMAQ serial functions */

/* Error codes of the library; camera error codes from error replies pass through unchanged. */
#define TP_OK 0x00000000u
#define TP_ERR_INVALID_ARGUMENT 0xA0332001u
#define TP_ERR_NOT_SERIAL_FUNCTION 0xA0332002u
#define TP_ERR_NO_SERIAL_LIBRARY 0xA0332004u
#define TP_ERR_MISSING_FUNCTION 0xA0330004u /* also: log file cannot be created or written */
#define TP_ERR_OS_NOT_SUPPORTED 0x80332005u
#define TP_ERR_HANDLE 0x80332006u  /* also: device or port cannot be opened */
#define TP_ERR_CHANNEL 0x80332007u /* flush, write or read failed; empty reply */
#define TP_ERR_CHECKSUM 0x80332008u
#define TP_ERR_NO_FREE_ENTRY 0x8033200Bu
#define TP_ERR_REPLY_CODE 0x8033200Cu
#define TP_ERR_BAUDRATE_NOT_POSSIBLE 0x8033200Du
#define TP_ERR_REPLY_SHORT 0x8033200Eu /* a reply ends before a field the library reads */
#define TP_ERR_PARAMETER_FILE 0xA00A3004u

/* Ten fields; field 1 names the serial library (read with INITMODE_DLL_NAME), field 6 is the
 * IMAQ serial session (read with INITMODE_IMAQ). The others are reserved, zero. */
typedef struct KM4_OpenStruct {
    const char* cl_ser_file_name;
    uint32_t reserved2[4];
    uint32_t imaq_serialref;
    uint32_t reserved7[4];
} KM4_OpenStruct;

/* Camera Link transfer parameters, 20 bytes. */
typedef struct TransferParameters {
    uint32_t baudrate;       /* bit/s */
    uint32_t ClockFrequency; /* pixel clock in Hz */
    uint32_t CCline;         /* bits 0-7 */
    uint32_t DataFormat;     /* bits 0-7 data format, bits 8-15 interface output format */
    uint32_t Transmit;       /* bits 0-7 transmit; from bit 8: the grabber's baud-rate mask */
} TransferParameters;

/* Receives the text of an error line (Enable_Error_Messages with mode bit 4). It is called, like
 * the message box, as the call that reported the error returns, on that call's thread: it may
 * call the library again, also on the same handle. */
typedef void(TESSIPORT_CALL* TP_ErrorCallback)(const char* text);

/* What a host may supply for the parts that need a person. Without it the library prompts on an
 * interactive terminal for a choice, shows no message boxes, and otherwise makes no choice.
 * On Windows the library shows its own message boxes: showMessageBox is not called there.
 * chooseSerialLibrary: items are `count` texts, `preselected` the index to offer first; returns 1
 * with *chosen set, 2 when the user cancelled, 0 when no choice can be made. */
typedef struct TP_UserInterface {
    int32_t(TESSIPORT_CALL* chooseSerialLibrary)(void* context, const char* const* items,
                                                 uint32_t count, uint32_t preselected,
                                                 uint32_t* chosen);
    void(TESSIPORT_CALL* showMessageBox)(void* context, const char* text);
    void* context;
} TP_UserInterface;

TESSIPORT_API uint32_t TESSIPORT_CALL Open_Cam(uint32_t initmode, uint32_t* handle);
TESSIPORT_API uint32_t TESSIPORT_CALL Close_Cam(uint32_t* handle);
TESSIPORT_API uint32_t TESSIPORT_CALL Check_Device_Availability(uint32_t value);
TESSIPORT_API uint32_t TESSIPORT_CALL Open_Cam_Ext(uint32_t initmode, uint32_t* handle,
                                                   KM4_OpenStruct* open);
TESSIPORT_API uint32_t TESSIPORT_CALL Control_Command(uint32_t handle, const void* command,
                                                      uint32_t size_in, void* reply,
                                                      uint32_t capacity);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_Timeouts(uint32_t handle, const uint32_t* values,
                                                   uint32_t length);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Generation_Count(uint32_t value, uint32_t* count);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Image_Queued(uint32_t handle, uint32_t a, uint32_t b,
                                                       uint32_t c, uint32_t d, uint32_t e,
                                                       uint32_t f, uint32_t g);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_Image_Buffer(uint32_t handle, uint32_t a, uint32_t b,
                                                       uint32_t c, uint32_t d, uint32_t e,
                                                       uint32_t f, uint32_t g, uint32_t h);
TESSIPORT_API uint32_t TESSIPORT_CALL Cancel_Images(uint32_t handle);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Pending_Buffer(uint32_t value, uint32_t* count);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Transfer_Parameters(uint32_t handle, void* buffer,
                                                              uint32_t length);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_Transfer_Parameters(uint32_t handle, const void* buffer,
                                                              uint32_t length);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_Image_Parameters(uint32_t handle, uint32_t a, uint32_t b);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Byterate_Data(uint32_t a, uint32_t b, uint32_t c);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_Driver_Event(uint32_t a, uint32_t b, uint32_t c);
TESSIPORT_API uint32_t TESSIPORT_CALL Enable_Error_Messages(uint32_t mode,
                                                            TP_ErrorCallback callback);
TESSIPORT_API uint32_t TESSIPORT_CALL Enable_Message_Log(uint32_t log_bits, const char* file_name);
TESSIPORT_API uint32_t TESSIPORT_CALL Save_Protocol(uint32_t a, uint32_t b, uint32_t c);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_Protocol(uint32_t a, uint32_t b, uint32_t c);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Protocol(uint32_t a, uint32_t b, uint32_t c);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_Camera_Error(void);
TESSIPORT_API uint32_t TESSIPORT_CALL Set_buffer_management(uint32_t handle, uint32_t a);
TESSIPORT_API uint32_t TESSIPORT_CALL Allocate_Framebuffer(uint32_t handle, uint32_t a, uint32_t b);
TESSIPORT_API uint32_t TESSIPORT_CALL Free_Framebuffer(uint32_t handle, uint32_t a);
TESSIPORT_API uint32_t TESSIPORT_CALL Start_Aquire(uint32_t handle, uint32_t a, uint32_t b);
TESSIPORT_API uint32_t TESSIPORT_CALL Stop_Aquire(uint32_t handle);
TESSIPORT_API uint32_t TESSIPORT_CALL Wait_for_image(uint32_t handle, uint32_t a);
TESSIPORT_API uint32_t TESSIPORT_CALL Unblock_image_buffer(uint32_t handle, uint32_t a);
TESSIPORT_API uint32_t TESSIPORT_CALL Get_image_buffer_adr(uint32_t handle, uint32_t a, uint32_t b,
                                                           uint32_t c);
/* Added for hosts on systems without the library's own dialogs: NULL unregisters. */
TESSIPORT_API uint32_t TESSIPORT_CALL Register_User_Interface(const TP_UserInterface* ui);

#ifdef __cplusplus
}
#endif

#endif /* TESSIPORT_H */
