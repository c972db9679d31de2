/* Loads tessiport.dll and looks at what the host cannot see through its calls.
 * dll_probe DLL count [exit]: calls one export so that the process attaches, and prints the
 *   process count of the shared block "TESSIPORT" while the library is loaded and after
 *   FreeLibrary: "loaded N", "unloaded N" ("unloaded none" when the block is gone). With "exit"
 *   the process ends with the library still loaded instead, so the library detaches as it ends.
 * dll_probe DLL ok|cancel: opens a board with no library named and no chooser registered, so that
 *   the library shows its selection dialog, and answers the dialog from a second thread: prints
 *   what the dialog shows ("text", "font", one "item" per entry, "selected"), presses OK or
 *   CANCEL and prints the result of the open. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tessiport.h"

typedef uint32_t(TESSIPORT_CALL* GetCameraErrorFn)(void);
typedef uint32_t(TESSIPORT_CALL* OpenCamExtFn)(uint32_t, uint32_t*, KM4_OpenStruct*);

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

int main(int argc, char** argv) {
    HMODULE library = argc >= 3 ? LoadLibraryA(argv[1]) : NULL;
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
