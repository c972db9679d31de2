// A plain C host of libtessiport.so (tessiport.dll on Windows): loads it at run time, binds every
// export by name and runs the steps given as arguments, printing one line per step.
// Usage: c_host LIBRARY STEP...
//   open:INITMODE[:NAME[:SESSION]]  Open_Cam_Ext (INITMODE hex; NAME and the IMAQ SESSION fill
//                           KM4_OpenStruct)
//   opencam:INITMODE        Open_Cam
//   handle:HEX              sets the handle variable
//   close                   Close_Cam
//   cmd:SIZE:CAP:HEX        Control_Command with SIZE bytes of HEX, reply capacity CAP
//   timeouts:LEN:A,B,C      Set_Timeouts
//   error                   Get_Camera_Error
//   image                   every image function on the handle, then the fixed-answer exports
//   params                  Get_Transfer_Parameters
//   rate:BAUD               Set_Transfer_Parameters with the rate alone
//   log:BITS:PATH           Enable_Message_Log
//   errors:MODE             Enable_Error_Messages with a callback printing "cb TEXT"
//   wait                    prints "ready" and waits for the end of standard input
//   pause                   prints "paused" and waits for a line on standard input
// Exit status: 0, or 2 when the library or an export is missing.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessiport.h"

// The system's loader: LoadLibraryA and GetProcAddress on Windows, dlopen and dlsym elsewhere.
#ifdef _WIN32
#include <windows.h>
#define openLibrary(path) ((void*)LoadLibraryA(path))
#define findExport(library, name) ((void*)GetProcAddress((HMODULE)(library), name))
#define closeLibrary(library) FreeLibrary((HMODULE)(library))
#define loaderError() "LoadLibraryA failed"
#else
#include <dlfcn.h>
#define openLibrary(path) dlopen(path, RTLD_NOW | RTLD_LOCAL)
#define findExport(library, name) dlsym(library, name)
#define closeLibrary(library) dlclose(library)
#define loaderError() dlerror()
#endif

#define BIND(name) static __typeof__(&name) p_##name;
// clang-format off
#define EXPORTS(X)                                                                                 \
    X(Open_Cam) X(Close_Cam) X(Check_Device_Availability) X(Open_Cam_Ext) X(Control_Command)      \
    X(Set_Timeouts) X(Get_Generation_Count) X(Get_Image_Queued) X(Set_Image_Buffer)               \
    X(Cancel_Images) X(Get_Pending_Buffer) X(Get_Transfer_Parameters) X(Set_Transfer_Parameters)  \
    X(Set_Image_Parameters) X(Get_Byterate_Data) X(Set_Driver_Event) X(Enable_Error_Messages)     \
    X(Enable_Message_Log) X(Save_Protocol) X(Set_Protocol) X(Get_Protocol) X(Get_Camera_Error)    \
    X(Set_buffer_management) X(Allocate_Framebuffer) X(Free_Framebuffer) X(Start_Aquire)          \
    X(Stop_Aquire) X(Wait_for_image) X(Unblock_image_buffer) X(Get_image_buffer_adr)              \
    X(Register_User_Interface)
// clang-format on
EXPORTS(BIND)

static uint32_t handle;

static void TESSIPORT_CALL onError(const char* text) {
    printf("cb %s\n", text);
    fflush(stdout);
}

static size_t parseHex(const char* text, unsigned char* out, size_t room) {
    size_t n = 0;
    while (text[0] && text[1] && n < room) {
        unsigned value = 0;
        if (sscanf(text, "%2x", &value) != 1)
            break;
        out[n++] = (unsigned char)value;
        text += 2;
    }
    return n;
}

static void command(const char* args) {
    unsigned size = 0, capacity = 0;
    int used = 0;
    unsigned char telegram[1024] = {0}, reply[1100];
    if (sscanf(args, "%u:%u:%n", &size, &capacity, &used) != 2)
        return;
    parseHex(args + used, telegram, sizeof telegram);
    memset(reply, 0xEE, sizeof reply);
    uint32_t rc = p_Control_Command(handle, telegram, size, capacity ? reply : NULL, capacity);
    printf("cmd 0x%08x", rc);
    for (size_t i = 0; i < capacity && i < sizeof reply; ++i)
        printf("%s%02x", i ? "" : " ", reply[i]);
    // Bytes beyond the capacity must stay untouched.
    for (size_t i = capacity; i < sizeof reply; ++i)
        if (reply[i] != 0xEE) {
            printf(" OVERRUN");
            break;
        }
    printf("\n");
}

static void images(void) {
    uint32_t h = handle;
    uint32_t rc[12] = {
        p_Get_Image_Queued(h, 1, 2, 3, 4, 5, 6, 7), p_Set_Image_Buffer(h, 1, 2, 3, 4, 5, 6, 7, 8),
        p_Cancel_Images(h), p_Set_Image_Parameters(h, 1, 2), p_Set_buffer_management(h, 1),
        p_Allocate_Framebuffer(h, 1, 2), p_Free_Framebuffer(h, 1), p_Start_Aquire(h, 1, 2),
        p_Stop_Aquire(h), p_Wait_for_image(h, 1), p_Unblock_image_buffer(h, 1),
        p_Get_image_buffer_adr(h, 1, 2, 3)};
    printf("image");
    for (int i = 0; i < 12; ++i)
        printf(" 0x%08x", rc[i]);
    uint32_t generation = 7, pending = 7;
    uint32_t fixed = p_Check_Device_Availability(h) | p_Get_Generation_Count(h, &generation) |
                     p_Get_Pending_Buffer(h, &pending) | p_Get_Byterate_Data(1, 2, 3) |
                     p_Set_Driver_Event(1, 2, 3) | p_Save_Protocol(1, 2, 3) |
                     p_Set_Protocol(1, 2, 3) | p_Get_Protocol(1, 2, 3);
    printf(" fixed 0x%x generation %u pending %u\n", fixed, generation, pending);
}

static void step(const char* arg) {
    if (strncmp(arg, "open:", 5) == 0 || strncmp(arg, "opencam:", 8) == 0) {
        const int ext = arg[4] == ':';
        char* rest = NULL;
        uint32_t initmode = (uint32_t)strtoul(arg + (ext ? 5 : 8), &rest, 16);
        KM4_OpenStruct open;
        memset(&open, 0, sizeof open);
        char name[256] = "";
        if (rest && *rest == ':') {
            snprintf(name, sizeof name, "%s", rest + 1);
            char* session = strchr(name, ':');
            if (session) {
                *session = '\0';
                open.imaq_serialref = (uint32_t)strtoul(session + 1, NULL, 10);
            }
            open.cl_ser_file_name = name;
        }
        uint32_t rc = ext ? p_Open_Cam_Ext(initmode, &handle, (rest && *rest == ':') ? &open : NULL)
                          : p_Open_Cam(initmode, &handle);
        printf("open 0x%08x 0x%x\n", rc, handle);
    } else if (strncmp(arg, "handle:", 7) == 0) {
        handle = (uint32_t)strtoul(arg + 7, NULL, 16);
    } else if (strcmp(arg, "close") == 0) {
        uint32_t rc = p_Close_Cam(&handle);
        printf("close 0x%08x 0x%x\n", rc, handle);
    } else if (strncmp(arg, "cmd:", 4) == 0) {
        command(arg + 4);
    } else if (strncmp(arg, "timeouts:", 9) == 0) {
        uint32_t length = 0, values[3] = {0, 0, 0};
        sscanf(arg + 9, "%u:%u,%u,%u", &length, &values[0], &values[1], &values[2]);
        printf("timeouts 0x%08x\n", p_Set_Timeouts(handle, values, length));
    } else if (strcmp(arg, "error") == 0) {
        printf("error 0x%08x\n", p_Get_Camera_Error());
    } else if (strcmp(arg, "image") == 0) {
        images();
    } else if (strncmp(arg, "rate:", 5) == 0) {
        uint32_t rate = (uint32_t)strtoul(arg + 5, NULL, 10);
        printf("rate 0x%08x\n", p_Set_Transfer_Parameters(handle, &rate, sizeof rate));
    } else if (strcmp(arg, "params") == 0) {
        TransferParameters p;
        memset(&p, 0, sizeof p);
        uint32_t rc = p_Get_Transfer_Parameters(handle, &p, sizeof p);
        printf("params 0x%08x %u %u 0x%x 0x%x 0x%x\n", rc, p.baudrate, p.ClockFrequency, p.CCline,
               p.DataFormat, p.Transmit);
    } else if (strncmp(arg, "log:", 4) == 0) {
        char* path = NULL;
        uint32_t bits = (uint32_t)strtoul(arg + 4, &path, 16);
        printf("log 0x%08x\n", p_Enable_Message_Log(bits, path && *path == ':' ? path + 1 : NULL));
    } else if (strncmp(arg, "errors:", 7) == 0) {
        p_Enable_Error_Messages((uint32_t)strtoul(arg + 7, NULL, 16), onError);
    } else if (strcmp(arg, "wait") == 0) {
        printf("ready\n");
        fflush(stdout);
        while (getchar() != EOF) {
        }
    } else if (strcmp(arg, "pause") == 0) {
        char line[16];
        printf("paused\n");
        fflush(stdout);
        if (fgets(line, sizeof line, stdin) == NULL)
            printf("no line\n");
    } else {
        printf("unknown step %s\n", arg);
    }
    fflush(stdout);
}

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    void* library = openLibrary(argv[1]);
    if (library == NULL) {
        printf("dlopen: %s\n", loaderError());
        return 2;
    }
#define LOOKUP(name)                                   \
    *(void**)(&p_##name) = findExport(library, #name); \
    if (p_##name == NULL) {                            \
        printf("missing export %s\n", #name);          \
        return 2;                                      \
    }
    EXPORTS(LOOKUP)
    for (int i = 2; i < argc; ++i)
        step(argv[i]);
    closeLibrary(library);
    return 0;
}
