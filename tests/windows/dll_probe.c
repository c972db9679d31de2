/* Loads tessiport.dll and looks at what the host cannot see through its calls.
 * dll_probe DLL count [exit]: calls one export so that the process attaches, and prints the
 *   process count of the shared block "TESSIPORT" while the library is loaded and after
 *   FreeLibrary: "loaded N", "unloaded N" ("unloaded none" when the block is gone). With "exit"
 *   the process ends with the library still loaded instead, so the library detaches as it ends.
 * dll_probe DLL ok|cancel: opens a board with no library named and no chooser registered, so that
 *   the library shows its selection dialog, and answers the dialog from a second thread: prints
 *   what the dialog shows ("text", "font", one "item" per entry, "selected"), presses OK or
 *   CANCEL and prints the result of the open.
 * dll_probe DLL boxes NAME: with a window of its own on the calling thread, switches the message
 *   boxes on, makes the library report errors (a command too short, an open of the library NAME)
 *   and answers each box from a second thread: "box CAPTION|TEXT|ICON|HOST WINDOW" per box, then
 *   the results of the calls; then the same errors with the boxes off and standard output on.
 * dll_probe DLL paths: with an empty tessiport.log in the library's folder, attaches alone and
 *   prints the paths of the shared block ("log", "parameters", "folder"), then the start of the
 *   log's first line up to "logfile started"; removes the log again.
 * dll_probe DLL load: loads the library; "loaded", or "load failed N" with the system's error.
 * dll_probe - security: the access lists of the block and its mutex, which another process
 *   created: "NAME ENTRIES allow|deny RIGHTS SID" per entry, or "NAME not opened N".
 * dll_probe - squat NAME: holds an event named NAME until its standard input ends. */
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "tessiport.h"

typedef uint32_t(TESSIPORT_CALL* GetCameraErrorFn)(void);
typedef uint32_t(TESSIPORT_CALL* OpenCamExtFn)(uint32_t, uint32_t*, KM4_OpenStruct*);
typedef uint32_t(TESSIPORT_CALL* EnableErrorsFn)(uint32_t, TP_ErrorCallback);
typedef uint32_t(TESSIPORT_CALL* ControlCommandFn)(uint32_t, const void*, uint32_t, void*,
                                                   uint32_t);

static const char* answer;

static void printCount(const char* when) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "TESSIPORT");
    const volatile LONG* count =
        mapping != NULL ? (const volatile LONG*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4)
                        : NULL;
    if (count != NULL) {
        printf("%s %ld\n", when, *count);
        UnmapViewOfFile((LPCVOID)count);
    } else {
        printf("%s none\n", when);
    }
    if (mapping != NULL)
        CloseHandle(mapping);
}

static BOOL CALLBACK findOwnDialog(HWND window, LPARAM found) {
    char name[16] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, name, sizeof name);
    /* A modal dialog turns visible once its initialisation has filled it. */
    if (process != GetCurrentProcessId() || strcmp(name, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

static void describe(HWND dialog) {
    char text[128] = "";
    GetWindowTextA(FindWindowExA(dialog, NULL, "Static", NULL), text, sizeof text);
    printf("text %s\n", text);
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    GetObjectA((HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0), sizeof font, &font);
    printf("font %s\n", font.lfFaceName);
    HWND list = GetDlgItem(dialog, 1006);
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count && i < 32; ++i) {
        SendMessageA(list, CB_GETLBTEXT, (WPARAM)i, (LPARAM)text);
        printf("item %s\n", text);
    }
    printf("selected %ld\n", (long)SendMessageA(list, CB_GETCURSEL, 0, 0));
    fflush(stdout);
}

static DWORD WINAPI answerDialog(LPVOID unused) {
    (void)unused;
    for (int attempt = 0; attempt < 200; ++attempt) {
        HWND dialog = NULL;
        EnumWindows(findOwnDialog, (LPARAM)&dialog);
        if (dialog != NULL) {
            describe(dialog);
            PostMessageA(dialog, WM_COMMAND, strcmp(answer, "ok") == 0 ? IDOK : IDCANCEL, 0);
            return 0;
        }
        Sleep(50);
    }
    printf("no dialog\n");
    return 1;
}

/* Message boxes, answered from a second thread until the main thread has made its calls. */
static HWND hostWindow;
static volatile LONG callsDone;

static void printUtf8(const wchar_t* text) {
    char bytes[2048] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    fputs(bytes, stdout);
}

static BOOL CALLBACK findBoxParts(HWND child, LPARAM parts) {
    wchar_t name[16] = L"";
    GetClassNameW(child, name, 16);
    if (_wcsicmp(name, L"Static") != 0)
        return TRUE;
    HWND* found = (HWND*)parts;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        found[0] = child;
    else if (GetWindowTextLengthW(child) > 0)
        found[1] = child;
    return TRUE;
}

static void describeBox(HWND box) {
    wchar_t text[1024] = L"";
    HWND parts[2] = {NULL, NULL}; /* the icon, the text */
    EnumChildWindows(box, findBoxParts, (LPARAM)parts);
    fputs("box ", stdout);
    GetWindowTextW(box, text, 1024);
    printUtf8(text);
    text[0] = L'\0';
    if (parts[1] != NULL)
        GetWindowTextW(parts[1], text, 1024);
    fputs("|", stdout);
    printUtf8(text);
    const HICON icon = parts[0] != NULL ? (HICON)SendMessageW(parts[0], STM_GETICON, 0, 0) : NULL;
    const BOOL warning = icon != NULL && icon == LoadIconW(NULL, (LPCWSTR)IDI_WARNING);
    printf("|%s|host %s\n", warning ? "warning" : "other icon",
           IsWindowEnabled(hostWindow) ? "enabled" : "disabled");
    fflush(stdout);
}

static DWORD WINAPI answerBoxes(LPVOID unused) {
    (void)unused;
    while (!callsDone) {
        HWND box = NULL;
        EnumWindows(findOwnDialog, (LPARAM)&box);
        if (box == NULL) {
            Sleep(20);
            continue;
        }
        describeBox(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int wait = 0; wait < 250 && IsWindow(box); ++wait)
            Sleep(20);
    }
    return 0;
}

static int boxes(HMODULE library, const char* name) {
    EnableErrorsFn enable = (EnableErrorsFn)(void*)GetProcAddress(library, "Enable_Error_Messages");
    ControlCommandFn command = (ControlCommandFn)(void*)GetProcAddress(library, "Control_Command");
    OpenCamExtFn open = (OpenCamExtFn)(void*)GetProcAddress(library, "Open_Cam_Ext");
    hostWindow = CreateWindowExW(0, L"Static", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL,
                                 NULL, NULL, NULL);
    HANDLE answering = CreateThread(NULL, 0, answerBoxes, NULL, 0, NULL);
    const unsigned char telegram[8] = {0x01, 0x01, 0x05, 0x00, 0x00};
    KM4_OpenStruct named;
    memset(&named, 0, sizeof named);
    named.cl_ser_file_name = name;
    const uint32_t withName =
        QEL_KM4_CL_ONLY_SERIAL_INIT | INITMODE_DLL_NAME | INITMODE_NO_CONNECTION_TEST;
    const uint32_t modes[2] = {1 | 2, 1 | 8};
    for (int round = 0; round < 2; ++round) {
        printf("enable 0x%x\n", enable(modes[round], NULL));
        fflush(stdout);
        printf("command 0x%08x\n", command(0x100, telegram, 3, NULL, 0));
        fflush(stdout);
        uint32_t handle = 0;
        printf("open 0x%08x 0x%x\n", open(withName, &handle, &named), handle);
        fflush(stdout);
    }
    InterlockedExchange(&callsDone, 1);
    WaitForSingleObject(answering, 10000);
    printf("host window %s\n", IsWindowEnabled(hostWindow) ? "enabled" : "disabled");
    return 0;
}

static void printAccess(const wchar_t* name, HANDLE object, DWORD error) {
    printUtf8(name);
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (object == NULL ||
        GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl,
                        NULL, &descriptor) != ERROR_SUCCESS) {
        printf(" not opened %lu\n", (unsigned long)(object == NULL ? error : GetLastError()));
        return;
    }
    const unsigned count = dacl != NULL ? dacl->AceCount : 0;
    printf(" %u", count);
    for (unsigned i = 0; i < count; ++i) {
        ACCESS_ALLOWED_ACE* ace = NULL;
        char* sid = NULL;
        GetAce(dacl, i, (void**)&ace);
        ConvertSidToStringSidA((PSID)&ace->SidStart, &sid);
        printf(" %s 0x%lx %s", ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow" : "deny",
               (unsigned long)ace->Mask, sid != NULL ? sid : "?");
        LocalFree(sid);
    }
    printf("\n");
    LocalFree(descriptor);
    CloseHandle(object);
}

static int paths(HMODULE library, GetCameraErrorFn getCameraError) {
    wchar_t log[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, CSIDL_COMMON_APPDATA, NULL, SHGFP_TYPE_CURRENT, log);
    wcscat(log, L"\\qel");
    CreateDirectoryW(log, NULL);
    wcscat(log, L"\\tessiport.log");
    CloseHandle(CreateFileW(log, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    getCameraError();
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, L"TESSIPORT");
    const char* block =
        mapping != NULL ? (const char*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 820) : NULL;
    if (block == NULL) {
        printf("no block\n");
        return 1;
    }
    printf("log %s\nparameters %s\nfolder %s\n", block + 18, block + 278, block + 538);
    UnmapViewOfFile(block);
    CloseHandle(mapping);
    FreeLibrary(library);
    char first[512] = "";
    FILE* file = _wfopen(log, L"rb");
    if (file != NULL) {
        fgets(first, sizeof first, file);
        fclose(file);
    }
    char* end = strstr(first, " logfile started");
    if (end != NULL)
        end[strlen(" logfile started")] = '\0';
    printf("first line %s\n", end != NULL ? first : "missing");
    DeleteFileW(log);
    return 0;
}

int main(void) {
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    /* The arguments in UTF-8, as the library takes names. */
    char* argv[8] = {NULL};
    static char texts[8][512];
    for (int i = 0; i < argc && i < 8; ++i) {
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, texts[i], sizeof texts[i], NULL, NULL);
        argv[i] = texts[i];
    }
    if (argc >= 3 && strcmp(argv[2], "security") == 0) {
        const DWORD readAccess = READ_CONTROL;
        HANDLE mapping = OpenFileMappingW(readAccess, FALSE, L"TESSIPORT");
        printAccess(L"TESSIPORT", mapping, GetLastError());
        HANDLE mutex = OpenMutexW(readAccess, FALSE, L"TESSIPORT.attach");
        printAccess(L"TESSIPORT.attach", mutex, GetLastError());
        return 0;
    }
    if (argc >= 4 && strcmp(argv[2], "squat") == 0) {
        HANDLE event = CreateEventW(NULL, TRUE, FALSE, wide[3]);
        printf(event != NULL ? "holding\n" : "not held\n");
        fflush(stdout);
        while (getchar() != EOF) {
        }
        return 0;
    }
    HMODULE library = argc >= 3 ? LoadLibraryW(wide[1]) : NULL;
    if (argc >= 3 && strcmp(argv[2], "load") == 0) {
        if (library != NULL)
            printf("loaded\n");
        else
            printf("load failed %lu\n", (unsigned long)GetLastError());
        return 0;
    }
    GetCameraErrorFn getCameraError =
        library != NULL ? (GetCameraErrorFn)(void*)GetProcAddress(library, "Get_Camera_Error")
                        : NULL;
    OpenCamExtFn open =
        library != NULL ? (OpenCamExtFn)(void*)GetProcAddress(library, "Open_Cam_Ext") : NULL;
    if (getCameraError == NULL || open == NULL) {
        printf("no library or export\n");
        return 2;
    }
    if (strcmp(argv[2], "count") == 0) {
        getCameraError();
        printCount("loaded");
        if (argc == 4 && strcmp(argv[3], "exit") == 0)
            return 0;
        FreeLibrary(library);
        printCount("unloaded");
        return 0;
    }
    if (strcmp(argv[2], "paths") == 0)
        return paths(library, getCameraError);
    if (strcmp(argv[2], "boxes") == 0 && argc >= 4)
        return boxes(library, argv[3]);
    answer = argv[2];
    HANDLE answering = CreateThread(NULL, 0, answerDialog, NULL, 0, NULL);
    uint32_t handle = 0;
    /* Board 0, without the connection test: the dialog decides what is loaded. */
    const uint32_t result =
        open(QEL_KM4_CL_ONLY_SERIAL_INIT | INITMODE_NO_CONNECTION_TEST, &handle, NULL);
    WaitForSingleObject(answering, 15000);
    printf("open 0x%08x 0x%x\n", result, handle);
    return 0;
}
