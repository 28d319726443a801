// Keeps the program from loading a DLL planted beside it: it runs elevated from
// flash drives and other folders anyone may write to.
#pragma once
#include <windows.h>

// Restricts the process's DLL search to System32; the first thing the entry does.
void restrict_dll_search();

// Loads a system DLL by base name from System32 (or the side-by-side assembly the
// manifest names), never from the program's folder; nullptr when it cannot.
HMODULE load_system_dll(const char *name);
