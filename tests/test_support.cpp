#include "test_support.h"

#include "tools/mount_drive.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string make_scratch_dir(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "kx_" + name + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                       std::to_string(GetTickCount());
    remove_tree(path);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string read_file_bytes(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "";
    std::string bytes;
    int c;
    while ((c = fgetc(f)) != EOF)
        bytes.push_back((char)c);
    fclose(f);
    return bytes;
}

void write_file_bytes(const std::string &path, const std::string &bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

void remove_tree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                remove_tree(path + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::string kestrix_exe_path()
{
    const char *unix_path = getenv("KX_EXE");
    if (!unix_path)
        return "";
    std::string path = std::string("Z:") + unix_path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

HMODULE kestrix_resources()
{
    static HMODULE module = LoadLibraryExA(kestrix_exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return module;
}

std::string unix_path(const std::string &windows_path)
{
    typedef char *(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName to_unix =
        (UnixFileName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    wchar_t wide[1024];
    if (!to_unix || !MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, wide, 1024))
        return "";
    char *unix_name = to_unix(wide);
    if (!unix_name)
        return "";
    std::string result = unix_name;
    HeapFree(GetProcessHeap(), 0, unix_name);
    return result;
}

int plug_drive(char letter, const std::string &folder, unsigned drive_type)
{
    std::string mount_point = unix_path(folder);
    SimulatedDrive kind = drive_type == DRIVE_FIXED ? DRIVE_PLUGGED_FIXED : DRIVE_PLUGGED_REMOVABLE;
    if (mount_point.empty() || !define_simulated_drive(letter, kind, mount_point.c_str()))
        return 0;
    char root[] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root) == drive_type;
}

int pull_drive(char letter)
{
    return define_simulated_drive(letter, DRIVE_PULLED, nullptr) ? 1 : 0;
}
