#include "drives/autostart.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/app_state.h"
#include "common/bounded_text.h"

static const char LINK_NAME[] = "Ярлык для kestrix.exe.LNK";

// The shortcut's path in the current user's Startup folder; 0 when unknown or too long.
static int startup_link_path(char *out, size_t out_size)
{
    LPITEMIDLIST folder_id = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_STARTUP, &folder_id)))
        return 0;
    char folder[MAX_PATH];
    int found = SHGetPathFromIDListA(folder_id, folder);
    CoTaskMemFree(folder_id);
    return found && text_format_n(out, out_size, "%s\\%s", folder, LINK_NAME);
}

// The program's command line without quotation marks and apostrophes; arguments stay.
static int link_target(char *out, size_t out_size)
{
    size_t n = 0;
    for (const char *p = app.command_line; *p; p++) {
        if (*p == '"' || *p == '\'')
            continue;
        if (n + 1 >= out_size)
            return 0;
        out[n++] = *p;
    }
    out[n] = '\0';
    // A shortcut holds at most MAX_PATH characters: a longer target would be saved cut.
    return n > 0 && n < MAX_PATH;
}

// Saves a shortcut to target at link_path; COM is already initialised.
static int save_shell_link(const wchar_t *link_path, const char *target)
{
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)))
        return 0;
    IPersistFile *file = nullptr;
    int saved = SUCCEEDED(link->SetPath(target)) &&
                SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) &&
                SUCCEEDED(file->Save(link_path, TRUE));
    if (file)
        file->Release();
    link->Release();
    return saved;
}

int set_autostart(int on)
{
    char path[TEXT_SIZE];
    if (!startup_link_path(path, sizeof path))
        return 0;
    if (!on)
        return SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE) && DeleteFileA(path);

    wchar_t wide_path[TEXT_SIZE];
    char target[COMMAND_LINE_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide_path, TEXT_SIZE) || !link_target(target, sizeof target))
        return 0;
    HRESULT com = CoInitialize(nullptr);
    int saved = save_shell_link(wide_path, target);
    // A thread already in another COM mode keeps it; only a successful start is balanced.
    if (SUCCEEDED(com))
        CoUninitialize();
    return saved;
}
