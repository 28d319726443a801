// The Windows GUI entry point; everything else lives in the program library.
#include <windows.h>

#include "app/app_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return run_program(instance, show_command);
}
