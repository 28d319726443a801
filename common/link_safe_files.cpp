#include "common/link_safe_files.h"

#include <cwchar>

#include "common/text_sizes.h"

// Room for any path the program composes, plus the "\\?\" the final path starts with.
enum { WIDE_PATH_SIZE = TEXT_SIZE + 8 };
typedef WCHAR WidePath[WIDE_PATH_SIZE];

// The full "X:\..." form of a 1251 path in UTF-16, without a trailing backslash unless
// it names a root; 0 when it is no such path or does not fit.
static int wide_full_path(const char *path, WidePath &out)
{
    WidePath wide;
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, WIDE_PATH_SIZE))
        return 0;
    DWORD length = GetFullPathNameW(wide, WIDE_PATH_SIZE, out, nullptr);
    if (length == 0 || length >= WIDE_PATH_SIZE || length < 3 || out[1] != L':' || out[2] != L'\\')
        return 0;
    if (length > 3 && out[length - 1] == L'\\')
        out[length - 1] = L'\0';
    return 1;
}

// 1 when every folder above full's last name is a plain folder, no link or junction.
static int folders_above_are_plain(const WCHAR *full)
{
    WidePath level;
    for (size_t i = 3; full[i]; i++) {
        if (full[i] != L'\\')
            continue;
        wmemcpy(level, full, i);
        level[i] = L'\0';
        DWORD attributes = GetFileAttributesW(level);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return 0;
    }
    return 1;
}

// The final path of an open file or folder, links resolved, without "\\?\" and without
// a trailing backslash; 0 when it cannot be told.
static int final_path(HANDLE handle, WidePath &out)
{
    WidePath reached;
    DWORD length = GetFinalPathNameByHandleW(handle, reached, WIDE_PATH_SIZE, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= WIDE_PATH_SIZE)
        return 0;
    const WCHAR *path = wcsncmp(reached, L"\\\\?\\", 4) == 0 ? reached + 4 : reached;
    wcscpy(out, path);
    size_t end = wcslen(out);
    if (end > 0 && out[end - 1] == L'\\')
        out[end - 1] = L'\0';
    return 1;
}

// The final path of the folder at path, the folder itself opened, not what it may lead to.
static int folder_final_path(const WCHAR *path, WidePath &out)
{
    HANDLE folder = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return 0;
    int known = final_path(folder, out);
    CloseHandle(folder);
    return known;
}

// 1 when the open handle is no link, is a folder exactly when want_folder says so, is
// its file's only name, and lies in the folder above full under full's last name: its
// final path is that folder's final path and the name. (Comparing with full itself
// would not do: Wine may name a drive's files through another drive letter.)
static int handle_lies_at(HANDLE handle, const WCHAR *full, bool want_folder)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information))
        return 0;
    bool folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || folder != want_folder ||
        (!folder && information.nNumberOfLinks != 1))
        return 0;
    // Short names on the way are compared in their long form, as the final path gives them.
    WidePath intended;
    DWORD length = GetLongPathNameW(full, intended, WIDE_PATH_SIZE);
    if (length == 0 || length >= WIDE_PATH_SIZE)
        return 0;
    if (length <= 3)
        return 1;  // a drive's root
    WCHAR *name = wcsrchr(intended, L'\\');
    WidePath above, reached;
    wmemcpy(above, intended, name - intended + 1);
    above[name - intended + 1] = L'\0';
    if (!folder_final_path(above, above) || !final_path(handle, reached) ||
        wcslen(above) + wcslen(name) >= WIDE_PATH_SIZE)
        return 0;
    wcscat(above, name);
    return CompareStringOrdinal(reached, -1, above, -1, TRUE) == CSTR_EQUAL;
}

// Opens the file at full with access; the handle is closed and refused unless it lies there.
static HANDLE open_checked(const WCHAR *full, DWORD access, DWORD disposition)
{
    HANDLE file = CreateFileW(full, access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              disposition, FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE && !handle_lies_at(file, full, false)) {
        CloseHandle(file);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

static int reset_attributes(HANDLE file)
{
    FILE_BASIC_INFO information = {};  // times of zero are left as they are
    information.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    return SetFileInformationByHandle(file, FileBasicInfo, &information, sizeof information) != 0;
}

HANDLE open_for_writing_no_links(const char *path)
{
    WidePath full;
    if (!wide_full_path(path, full) || !folders_above_are_plain(full))
        return INVALID_HANDLE_VALUE;
    // A missing name is created as a new file: a dangling link of that name then
    // fails instead of creating its target.
    DWORD disposition = GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES ? CREATE_NEW : OPEN_EXISTING;
    HANDLE file = open_checked(full, GENERIC_WRITE, disposition);
    if (file == INVALID_HANDLE_VALUE && disposition == OPEN_EXISTING && GetLastError() == ERROR_ACCESS_DENIED) {
        // A read-only file refuses write access until its attributes are reset.
        HANDLE attributes_only = open_checked(full, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
        if (attributes_only == INVALID_HANDLE_VALUE)
            return INVALID_HANDLE_VALUE;
        int reset = reset_attributes(attributes_only);
        CloseHandle(attributes_only);
        if (!reset)
            return INVALID_HANDLE_VALUE;
        file = open_checked(full, GENERIC_WRITE, OPEN_EXISTING);
    }
    if (file != INVALID_HANDLE_VALUE)
        reset_attributes(file);
    return file;
}

static int is_plain_full_folder(const WCHAR *full)
{
    DWORD attributes = GetFileAttributesW(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !folders_above_are_plain(full))
        return 0;
    HANDLE folder = CreateFileW(full, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return 0;
    int plain = handle_lies_at(folder, full, true);
    CloseHandle(folder);
    return plain;
}

int is_plain_folder(const char *path)
{
    WidePath full;
    return wide_full_path(path, full) && is_plain_full_folder(full);
}

int make_plain_folder(const char *path, SECURITY_ATTRIBUTES *security)
{
    WidePath full;
    if (!wide_full_path(path, full) || !folders_above_are_plain(full))
        return 0;
    if (GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(full, security))
        return 0;
    return is_plain_full_folder(full);
}

int copy_file_no_links(const char *source, const char *target)
{
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (from == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE to = open_for_writing_no_links(target);
    int copied = to != INVALID_HANDLE_VALUE;
    char block[16384];
    while (copied) {
        DWORD read = 0, written = 0;
        if (!ReadFile(from, block, sizeof block, &read, nullptr)) {
            copied = 0;
            break;
        }
        if (read == 0)
            break;
        copied = WriteFile(to, block, read, &written, nullptr) && written == read;
    }
    if (copied)
        copied = SetEndOfFile(to) != 0;
    if (to != INVALID_HANDLE_VALUE)
        CloseHandle(to);
    CloseHandle(from);
    return copied;
}
