/* A DLL that only marks that it was loaded: it creates NAME.dll.loaded beside
   itself. Beside the program under the name of a system DLL, it must never run. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    char mark[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(self, mark, MAX_PATH);
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && length > 0 && length < MAX_PATH) {
        lstrcpyA(mark + length, ".loaded");
        CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    }
    return TRUE;
}
