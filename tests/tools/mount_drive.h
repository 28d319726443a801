// Plugs and pulls simulated drives through Wine's mount manager, while programs run.
// A drive letter becomes a Linux folder; running processes see the change at once.
#pragma once
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

enum SimulatedDrive { DRIVE_PULLED = 1, DRIVE_PLUGGED_REMOVABLE = 2, DRIVE_PLUGGED_FIXED = 3 };

// Wine's request layout for IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE.
struct WineUnixDrive {
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

// kind: DRIVE_PULLED removes the letter. unix_folder is a Linux path. Returns true when
// Wine accepted it. A folder that does not exist stands for a slot with no medium: the
// root cannot be listed, although Wine still answers the volume query for it.
inline bool define_simulated_drive(char letter, SimulatedDrive kind, const char *unix_folder)
{
    const DWORD ioctl = CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    size_t path_length = unix_folder ? strlen(unix_folder) + 1 : 0;
    std::vector<char> request(sizeof(WineUnixDrive) + path_length, 0);
    WineUnixDrive *drive = (WineUnixDrive *)request.data();
    drive->size = (ULONG)request.size();
    drive->type = kind;
    drive->letter = (WCHAR)(letter | 0x20);
    if (path_length) {
        drive->mount_point_offset = sizeof(WineUnixDrive);
        memcpy(request.data() + sizeof(WineUnixDrive), unix_folder, path_length);
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(manager, ioctl, request.data(), (DWORD)request.size(), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}
