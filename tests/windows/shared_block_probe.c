/* Loads tessiport.dll, calls one export so that the process attaches, and prints the process
 * count of the shared block "TESSIPORT" while the library is loaded and after FreeLibrary:
 * "loaded N", "unloaded N" ("unloaded none" when the block is gone). With "exit" it ends the
 * process with the library still loaded instead, so the library detaches as the process ends.
 * Usage: shared_block_probe DLL [exit] */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tessiport.h"

typedef uint32_t(TESSIPORT_CALL* GetCameraErrorFn)(void);

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

int main(int argc, char** argv) {
    HMODULE library = argc >= 2 ? LoadLibraryA(argv[1]) : NULL;
    GetCameraErrorFn getCameraError =
        library != NULL ? (GetCameraErrorFn)(void*)GetProcAddress(library, "Get_Camera_Error")
                        : NULL;
    if (getCameraError == NULL) {
        printf("no library or export\n");
        return 2;
    }
    getCameraError();
    printCount("loaded");
    if (argc == 3 && strcmp(argv[2], "exit") == 0)
        return 0;
    FreeLibrary(library);
    printCount("unloaded");
    return 0;
}
