// The Windows GUI entry point; everything else lives in the program library.
#include <windows.h>

#include "app/app_state.h"
#include "app/dll_search.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    // Before anything loads a DLL by name. KX_UNRESTRICTED_DLL_SEARCH builds the
    // test-only control that shows what a planted DLL does without it.
#ifndef KX_UNRESTRICTED_DLL_SEARCH
    restrict_dll_search();
#endif
    return run_program(instance, show_command);
}
