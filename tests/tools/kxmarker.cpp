// kxmarker: stands in for a program planted under a system tool's name. Started, it
// leaves "<its own path>.ran" beside itself, holding its command line, and ends.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char marker[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(nullptr, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    strcat(marker, ".ran");
    HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const char *command_line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, command_line, (DWORD)strlen(command_line), &written, nullptr);
    CloseHandle(file);
    return 0;
}
