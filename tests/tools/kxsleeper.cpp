// kxsleeper: a windowless process that only waits, then exits 0 by itself.
//   kxsleeper [milliseconds]    default 120000, so a forgotten copy never lingers
// A GUI-subsystem program, so that no console host process comes with it.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int)
{
    DWORD wait = 120000;
    if (command_line && *command_line)
        wait = (DWORD)strtoul(command_line, nullptr, 10);
    Sleep(wait);
    return 0;
}
