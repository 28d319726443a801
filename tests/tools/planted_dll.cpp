// Test-only stand-in for a system DLL planted beside the program (built as gdiplus.dll,
// winmm.dll...). It exports nothing: whoever loads it appends its own program path to
// <dll name>.loaded beside the DLL, and loading goes on.
#include <windows.h>

#include <cstring>

#include "common/bounded_text.h"

// Appends the loading program's path to the marker file beside this DLL.
static void write_marker(HMODULE self)
{
    char dll_path[MAX_PATH], exe_path[MAX_PATH], marker[MAX_PATH + 8];
    DWORD dll_length = GetModuleFileNameA(self, dll_path, sizeof dll_path);
    DWORD exe_length = GetModuleFileNameA(nullptr, exe_path, sizeof exe_path);
    if (dll_length == 0 || dll_length >= sizeof dll_path || exe_length == 0 || exe_length >= sizeof exe_path)
        return;
    // "C:\Stick\WINMM.dll" becomes "C:\Stick\winmm.loaded": the loader may spell the name in capitals.
    char *name = strrchr(dll_path, '\\');
    name = name ? name + 1 : dll_path;
    char *dot = strrchr(name, '.');
    if (dot)
        *dot = 0;
    CharLowerA(name);
    if (!text_format(marker, "%s.loaded", dll_path) || !text_append(exe_path, "\r\n"))
        return;
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, exe_path, (DWORD)strlen(exe_path), &written, nullptr);
    CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        write_marker(self);
    return TRUE;
}
