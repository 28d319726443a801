// DLL search restricted to System32, and the delay-load hook that loads every
// delay-imported DLL (the ones outside KnownDLLs) from there.
#include "app/dll_search.h"

#include <delayimp.h>

#include "common/bounded_text.h"

void restrict_dll_search()
{
    // Windows 7 without KB2533623 lacks SetDefaultDllDirectories; SetDllDirectory("")
    // then at least drops the current directory from the search.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    SetDefaultDllDirectoriesProc set_default_dll_directories = (SetDefaultDllDirectoriesProc)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (!set_default_dll_directories || !set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryA("");
}

// Loads a DLL by its full System32 path, its own imports searched from there too.
static HMODULE load_by_system_path(const char *name)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !text_append(path, "\\") || !text_append(path, name))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE load_system_dll(const char *name)
{
    // Side-by-side redirection comes before the search flags, so comctl32 still
    // resolves to the version 6 assembly the manifest asks for, not System32's v5.
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // The flag is unknown (Windows 7 without KB2533623). A name the activation context
    // redirects loads from WinSxS; any other is named by its full System32 path.
    ACTCTX_SECTION_KEYED_DATA redirected = {};
    redirected.cbSize = sizeof redirected;
    if (FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &redirected))
        return LoadLibraryA(name);
    return load_by_system_path(name);
}

// Called by the delay-load helper before it loads a DLL on first use of one of its functions.
static FARPROC WINAPI load_delayed_dll(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary)
        return nullptr;
    HMODULE module = load_system_dll(info->szDll);
    if (!module) {
        // Returning nullptr would let the helper try a plain LoadLibrary, whose search
        // may start in the program's folder; fail the way the helper itself fails.
        info->dwLastError = GetLastError();
        ULONG_PTR argument = (ULONG_PTR)info;
        RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    }
    return (FARPROC)(void *)module;
}

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = load_delayed_dll;
}
