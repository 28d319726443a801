#include "test_support.h"

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

std::string program_file_path()
{
    const char *path = getenv("KX_EXE");
    if (!path)
        return "";
    std::string windows = std::string("Z:") + path;
    for (char &c : windows)
        if (c == '/')
            c = '\\';
    return windows;
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

// Wine's mount manager request that defines or removes a drive letter
// (IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE with struct mountmgr_unix_drive).
struct MountRequest {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};
static const DWORD DEFINE_UNIX_DRIVE = CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

static int send_mount_request(char letter, unsigned drive_type, const std::string &mount_point)
{
    std::string buffer(sizeof(MountRequest) + mount_point.size() + 1, '\0');
    MountRequest *request = (MountRequest *)&buffer[0];
    request->size = (ULONG)buffer.size();
    request->type = drive_type;
    request->letter = (WCHAR)(letter | 0x20);
    if (!mount_point.empty()) {
        request->mount_point_offset = sizeof(MountRequest);
        memcpy(&buffer[sizeof(MountRequest)], mount_point.c_str(), mount_point.size() + 1);
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return 0;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(manager, DEFINE_UNIX_DRIVE, &buffer[0], (DWORD)buffer.size(), nullptr, 0, &returned,
                              nullptr);
    CloseHandle(manager);
    return ok ? 1 : 0;
}

int plug_drive(char letter, const std::string &folder, unsigned drive_type)
{
    std::string mount_point = unix_path(folder);
    if (mount_point.empty() || !send_mount_request(letter, drive_type, mount_point))
        return 0;
    char root[] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root) == drive_type;
}

int pull_drive(char letter)
{
    return send_mount_request(letter, DRIVE_NO_ROOT_DIR, "");
}
