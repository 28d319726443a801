// Autorun removal and the protection folder: one location per sweep.
#include "drives/protection_folder.h"

#include <winternl.h>

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/calendar_system_time.h"
#include "common/file_digest.h"
#include "common/link_safe_files.h"
#include "kx_product.h"
#include "log/settings_file.h"

static const char FOLDER_NAME[] = "autorun.inf";
static const char FOLDER_RECORD_NAME[] = "autorun.inf (папка защиты)";
static const char PROGRAM_COPY_NAME[] = "kestrix.exe";

// The note text of info.txt, lines 1 to 14.
static const char *const FOLDER_NOTE_LINES[] = {
    "Этот файл и папка \"autorun.inf\", в которой он находится,",
    "созданы программой Kestrix (" KX_WEB_DOMAIN ").",
    "Папка позволяет защитить флешку от автозапуска программ",
    "(в том числе вирусов).",
    "Этот файл препятствует удалению папки вирусами.",
    "При необходимости вы можете удалить её вручную.",
    "",
    "Файл \"kestrix.exe\" - это сама программа.",
    "Вы можете использовать её для защиты флешек,",
    "карт памяти, mp3-4-плееров и т.п. от вирусов.",
    "",
    "Подробную информацию о программе можно найти на сайте",
    KX_WEB_DOMAIN "        .",
    "",
};

// path_exists drops a trailing line feed from its argument, so it gets a copy.
static int exists(const char *path)
{
    char copy[TEXT_SIZE];
    return text_copy(copy, path) && path_exists(copy);
}

// Where an open file or directory really lies: its volume and its path from that volume's root.
struct FileIdentity {
    DWORD volume;
    FILE_NAME_INFO name;  // FileNameLength bytes of FileName, not terminated
    WCHAR room[TEXT_SIZE];
};

static const DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where an open handle lies; 0 when it cannot tell.
static int identify_handle(HANDLE handle, FileIdentity *identity)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    DWORD name_room = (DWORD)(sizeof *identity - offsetof(FileIdentity, name));
    int known = GetFileInformationByHandle(handle, &information) &&
                GetFileInformationByHandleEx(handle, FileNameInfo, &identity->name, name_room);
    identity->volume = information.dwVolumeSerialNumber;
    return known;
}

// What opening path reaches, links followed; 0 when it cannot tell.
static int identify(const char *path, FileIdentity *identity)
{
    HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    int known = identify_handle(handle, identity);
    CloseHandle(handle);
    return known;
}

// Characters of an identity's path, without the backslash that ends a volume root.
static int identity_length(const FileIdentity *identity)
{
    int length = (int)(identity->name.FileNameLength / sizeof(WCHAR));
    if (length > 0 && identity->name.FileName[length - 1] == L'\\')
        length--;
    return length;
}

static int same_ignoring_case(const WCHAR *a, int a_length, const WCHAR *b, int b_length)
{
    return CompareStringOrdinal(a, a_length, b, b_length, TRUE) == CSTR_EQUAL;
}

// Whether the identity reached is the folder's entry called name.
static int lies_in(const FileIdentity *reached, const FileIdentity *folder, const WCHAR *name)
{
    int folder_length = identity_length(folder);
    int name_length = (int)wcslen(name);
    const WCHAR *path = reached->name.FileName;
    return reached->volume == folder->volume && identity_length(reached) == folder_length + 1 + name_length &&
           same_ignoring_case(path, folder_length, folder->name.FileName, folder_length) &&
           path[folder_length] == L'\\' && same_ignoring_case(path + folder_length + 1, name_length, name, name_length);
}

// Whether path is its folder's own entry and not a link to something elsewhere. Wine shows a
// link to a file as a plain file and deletes or rewrites its target through it, so this test,
// by volume and by path on the volume, is what keeps a sweep on its own drive.
static int is_own_entry(const char *path)
{
    const char *slash = strrchr(path, '\\');
    char folder_path[TEXT_SIZE];
    WCHAR wide_path[TEXT_SIZE];
    if (!slash || !text_copy_prefix_n(folder_path, sizeof folder_path, path, (size_t)(slash - path) + 1) ||
        !MultiByteToWideChar(CP_ACP, 0, path, -1, wide_path, TEXT_SIZE))
        return 0;
    WIN32_FIND_DATAW entry;  // the entry's own long name, whatever the code page can spell
    HANDLE search = FindFirstFileW(wide_path, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    // Wine maps a path to its volume through a drive list that it refreshes at most once a
    // second; a refresh between the two queries makes them disagree, and a second try settles it.
    for (int attempt = 0; attempt < 2; attempt++) {
        FileIdentity folder, reached;
        if (identify(folder_path, &folder) && identify(path, &reached) && lies_in(&reached, &folder, entry.cFileName))
            return 1;
    }
    return 0;
}

// The two paths of the protection folder.
struct SweepPaths {
    char folder[TEXT_SIZE];
    char info[TEXT_SIZE];
};

static int build_sweep_paths(const char *location, SweepPaths *paths)
{
    return text_format(paths->folder, "%s\\%s", location, FOLDER_NAME) &&
           text_format(paths->info, "%s\\info.txt", paths->folder);
}

int append_file_record(char (&records)[RECORD_TEXT_SIZE], const char *name, const char *note, const char *time)
{
    size_t used = strnlen(records, sizeof records);
    if (used >= sizeof records)
        return 0;  // not a terminated text: nothing can be added safely
    size_t length = strlen(name) + strlen(note) + strlen(time) + 3;
    if (used + length >= sizeof records)
        return 0;
    return text_format_n(records + used, sizeof records - used, "%s|%s|%s\n", name, note, time);
}

int force_delete_file(const char *path)
{
    if (!SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE))
        return 0;
    return DeleteFileA(path) ? 1 : 0;
}

int attribute_note(DWORD attributes, char *note, size_t note_size)
{
    const char *text = "";
    if (attributes & FILE_ATTRIBUTE_HIDDEN)
        text = "скрытый";
    else if (attributes & FILE_ATTRIBUTE_SYSTEM)
        text = "системный";
    else if (attributes & FILE_ATTRIBUTE_READONLY)
        text = "защищен";
    if (!text_copy_n(note, note_size, text)) {
        text_copy_n(note, note_size, "");
        return 0;
    }
    return text[0] != '\0';
}

int format_file_time(const FILETIME *time, char *text, size_t text_size)
{
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(time, &local) || !FileTimeToSystemTime(&local, &fields)) {
        text_copy_n(text, text_size, "");
        return 0;
    }
    CalendarTime calendar = calendar_from_system_time(fields);
    return format_file_time_text(&calendar, text, text_size);
}

// The note as it lies on disk: code page 1251, CR LF line ends.
static void compose_folder_note(char (&note)[2048])
{
    note[0] = '\0';
    for (const char *line : FOLDER_NOTE_LINES) {
        text_append(note, line);
        text_append(note, "\r\n");
    }
    // The version line names the release this note belongs to, not any file on the drive.
    char version[128];
    text_format(version, "Версия файла программы: %s\r\n***\r\n", KX_VERSION_DOTTED);
    text_append(note, version);
}

// Whether the file holds exactly these bytes and no more.
static int file_holds(const char *path, const char *bytes)
{
    FILE *file = open_stream(path, "rb");
    if (!file)
        return 0;
    const char *expected = bytes;
    int c;
    while ((c = fgetc(file)) != EOF) {
        if (*expected == '\0' || (char)c != *expected) {
            fclose(file);
            return 0;
        }
        expected++;
    }
    fclose(file);
    return *expected == '\0';
}

// Creates an empty file that must be new: a dangling link of that name is refused, not followed.
static int create_new_file(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

int write_folder_note(const char *info_path)
{
    // Through a link, writing would change or create a file elsewhere.
    if (exists(info_path) ? !is_own_entry(info_path) : !create_new_file(info_path))
        return 0;
    char note[2048];
    compose_folder_note(note);
    // A look pass refreshes the folder every few seconds: a note that is already right is
    // left alone, so a plugged flash drive is not written to again and again.
    if (file_holds(info_path, note))
        return 1;
    FILE *file = open_stream(info_path, "wb");
    if (!file)
        return 0;
    size_t length = strlen(note);
    int written = fwrite(note, 1, length, file) == length;
    if (fclose(file) != 0)
        written = 0;
    return written;
}

// The running program's size and hash, read once for the path they were read from.
static const FileDigest *own_program_digest()
{
    static char digested_path[TEXT_SIZE];
    static FileDigest digest;
    static int known;
    if (!known || strcmp(digested_path, app.exe_path) != 0) {
        known = file_digest(app.exe_path, &digest);
        text_copy(digested_path, app.exe_path);
    }
    return known ? &digest : nullptr;
}

// Whether the file at path holds exactly the running program's bytes: its size first,
// then its hash.
static bool holds_own_program(const char *path)
{
    const FileDigest *own = own_program_digest();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!own || !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow) != own->size)
        return false;
    FileDigest copy;
    return file_digest(path, &copy) && same_digest(copy, *own);
}

int copy_program_to_folder(const char *folder_path)
{
    char target[TEXT_SIZE];
    if (!app.exe_path[0] || !text_format(target, "%s\\%s", folder_path, PROGRAM_COPY_NAME))
        return 0;
    // Through a link, copying would overwrite or create a file elsewhere.
    int present = exists(target);
    if (present && !is_own_entry(target))
        return 0;
    if (present && holds_own_program(target))
        return 1;
    // Anything else is replaced, a foreign program carrying this program's version too:
    // info.txt vouches for the copy. A hidden or read-only one yields.
    return copy_file_no_links(app.exe_path, target);
}

// The user asked for the program in every protection folder, and there is a program to copy.
static int program_copy_wanted()
{
    return app.settings[SETTING_COPY_PROGRAM] == '1' && exists(app.exe_path);
}

// The location's own directory, opened once for the whole sweep.
struct Location {
    const char *path;
    HANDLE dir;
};

// What the sweep did with one matching file in act mode.
enum EntryOutcome { ENTRY_DELETED, ENTRY_HELD, ENTRY_LEFT };

// One sweep's work in progress.
struct Sweep {
    Location location;
    const char *pattern;
    int mode;
    char (*records)[RECORD_TEXT_SIZE];
    int files;
    int deleted;
    SweepEvidence evidence;
};

// Opens the directory itself; a location that is a link is not followed anywhere.
static int open_location(const char *path, Location *location)
{
    char root[TEXT_SIZE];
    location->path = path;
    location->dir = INVALID_HANDLE_VALUE;
    if (!text_format(root, "%s\\", path))
        return 0;
    HANDLE dir = CreateFileA(root, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(dir, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY) {
        CloseHandle(dir);
        return 0;
    }
    location->dir = dir;
    return 1;
}

// A listed name as a terminated string; 0 when it is longer than any path could hold.
static int listed_name(const WCHAR *name, DWORD name_bytes, WCHAR (&out)[MAX_PATH])
{
    size_t length = name_bytes / sizeof(WCHAR);
    if (length >= MAX_PATH)
        return 0;
    memcpy(out, name, length * sizeof(WCHAR));
    out[length] = L'\0';
    return 1;
}

// Whether name has the pattern's form, '*' for any run and '?' for one character, letter case
// aside. The pattern is plain ASCII, so only ASCII letters fold.
static int matches_pattern(const WCHAR *name, const char *pattern)
{
    if (*pattern == '\0')
        return *name == L'\0';
    if (*pattern == '*')
        return matches_pattern(name, pattern + 1) || (*name && matches_pattern(name + 1, pattern));
    if (*name == L'\0')
        return 0;
    WCHAR folded = *name < 128 ? (WCHAR)tolower(*name) : *name;
    int same = *pattern == '?' || folded == (WCHAR)tolower((unsigned char)*pattern);
    return same && matches_pattern(name + 1, pattern + 1);
}

// The name Wine reports for a file whose name ends in dots or spaces: the name without them.
// It stands for the listed name only while it still has the pattern's form.
static int trimmed_name(const WCHAR *name, const char *pattern, WCHAR (&out)[MAX_PATH])
{
    size_t length = wcslen(name);
    while (length > 0 && (name[length - 1] == L'.' || name[length - 1] == L' '))
        length--;
    if (length == wcslen(name) || length == 0)
        return 0;
    memcpy(out, name, length * sizeof(WCHAR));
    out[length] = L'\0';
    return matches_pattern(out, pattern);
}

// Whether the open entry is the listed file: the same id, no directory, no link, and it lies in
// the location under the listed long or short name. Wine lists a link to a file with its
// target's id, and opening that id reaches the target when it lies in the same folder; its
// name gives it away. Wine may remap a drive between two name queries, so a second try settles it.
static int is_listed_file(const Location *location, HANDLE entry, const FILE_ID_BOTH_DIR_INFO *info,
                          const WCHAR *name, const char *pattern)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(entry, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return 0;
    // A file system that keeps no ids lists 0; the entry was then opened by its name, checked below.
    if (info->FileId.QuadPart != 0 && (information.nFileIndexHigh != (DWORD)info->FileId.HighPart ||
                                       information.nFileIndexLow != info->FileId.LowPart))
        return 0;
    WCHAR short_name[13] = L"";
    size_t short_length = (size_t)info->ShortNameLength / sizeof(WCHAR);
    if (short_length < 13)
        memcpy(short_name, info->ShortName, short_length * sizeof(WCHAR));
    WCHAR trimmed[MAX_PATH];
    int has_trimmed = trimmed_name(name, pattern, trimmed);
    for (int attempt = 0; attempt < 2; attempt++) {
        FileIdentity folder, reached;
        if (!identify_handle(location->dir, &folder) || !identify_handle(entry, &reached))
            continue;
        if (lies_in(&reached, &folder, name) || (short_name[0] && lies_in(&reached, &folder, short_name)) ||
            (has_trimmed && lies_in(&reached, &folder, trimmed)))
            return 1;
    }
    return 0;
}

// FAT and exFAT cannot open a file by its id. They hold no links either, so the entry's own long
// name, whole and in UTF-16, reaches it; the caller still checks that it reached the listed file.
static HANDLE open_entry_by_name(const Location *location, const WCHAR *name, DWORD access)
{
    WCHAR path[2 * TEXT_SIZE] = L"\\\\?\\";
    size_t prefix = wcslen(path);
    int converted = MultiByteToWideChar(CP_ACP, 0, location->path, -1, path + prefix, TEXT_SIZE);
    if (!converted || prefix + (size_t)converted + 1 + wcslen(name) >= sizeof path / sizeof path[0])
        return INVALID_HANDLE_VALUE;
    wcscat(path, L"\\");
    wcscat(path, name);
    return CreateFileW(path, access, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Opens the listed entry itself by its id, a link as the link.
static HANDLE open_entry(const Location *location, const FILE_ID_BOTH_DIR_INFO *info, const WCHAR *name)
{
    const DWORD access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    FILE_ID_DESCRIPTOR id = {};
    id.dwSize = sizeof id;
    id.Type = FileIdType;
    id.FileId = info->FileId;
    HANDLE entry = OpenFileById(location->dir, &id, access, SHARE_ALL, nullptr, FILE_FLAG_OPEN_REPARSE_POINT);
    DWORD error = GetLastError();
    if (entry == INVALID_HANDLE_VALUE &&
        (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER))
        entry = open_entry_by_name(location, name, access);
    return entry;
}

// Resets the attributes to archive and asks for deletion, both on the entry's own handle.
static EntryOutcome reset_and_delete(HANDLE entry)
{
    FILE_BASIC_INFO basic = {};  // times of zero are left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    if (!SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic))
        return ENTRY_LEFT;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition))
        return ENTRY_DELETED;
    // A running program's own file opens for deletion but cannot be deleted.
    DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? ENTRY_HELD : ENTRY_LEFT;
}

// Deletes one listed file through a handle to that very entry. A link is left alone: never
// followed, so neither its target nor anything else is touched.
static EntryOutcome delete_entry(const Location *location, const FILE_ID_BOTH_DIR_INFO *info, const WCHAR *name,
                                 const char *pattern)
{
    if (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ENTRY_LEFT;
    HANDLE entry = open_entry(location, info, name);
    if (entry == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? ENTRY_HELD : ENTRY_LEFT;
    EntryOutcome outcome = is_listed_file(location, entry, info, name, pattern) ? reset_and_delete(entry) : ENTRY_LEFT;
    CloseHandle(entry);
    return outcome;
}

// Appends the record of one listed file, its name in code page 1251 ('?' for what 1251 lacks).
static void list_entry(const FILE_ID_BOTH_DIR_INFO *info, const WCHAR *name, int mode,
                       char (&records)[RECORD_TEXT_SIZE])
{
    char shown[2 * MAX_PATH];
    if (!WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, name, -1, shown, sizeof shown, "?", nullptr))
        return;
    char note[32];
    if (mode == SWEEP_LOCKED)
        text_copy(note, "LOCK");
    else
        attribute_note(info->FileAttributes, note, sizeof note);
    FILETIME written;
    written.dwLowDateTime = info->LastWriteTime.LowPart;
    written.dwHighDateTime = (DWORD)info->LastWriteTime.HighPart;
    char time[32];
    format_file_time(&written, time, sizeof time);
    append_file_record(records, shown, note, time);
}

// Folds bytes into a 64-bit FNV-1a signature.
static unsigned long long fold_signature(unsigned long long signature, const void *bytes, size_t length)
{
    const unsigned char *next = (const unsigned char *)bytes;
    for (size_t i = 0; i < length; i++)
        signature = (signature ^ next[i]) * 1099511628211ull;
    return signature;
}

// Adds a file the act pass left in place to the signature of what survived: location, id and
// name. The location's path stands for its volume: Wine reports a drive's serial number now from
// the drive, now from the folder behind it.
static void note_survivor(Sweep *sweep, const FILE_ID_BOTH_DIR_INFO *info, const WCHAR *name)
{
    unsigned long long signature = sweep->evidence.survivors ? sweep->evidence.survivors : 14695981039346656037ull;
    signature = fold_signature(signature, sweep->location.path, strlen(sweep->location.path));
    signature = fold_signature(signature, &info->FileId, sizeof info->FileId);
    signature = fold_signature(signature, name, wcslen(name) * sizeof(WCHAR));
    sweep->evidence.survivors = signature ? signature : 1;
}

// Handles one listed entry: a matching file is listed, or deleted in act mode.
static void sweep_entry(Sweep *sweep, const FILE_ID_BOTH_DIR_INFO *info)
{
    if (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return;  // the protection folder matches the pattern too; a directory never counts
    WCHAR name[MAX_PATH];
    if (!listed_name(info->FileName, info->FileNameLength, name) || !matches_pattern(name, sweep->pattern))
        return;
    sweep->files++;
    if (sweep->mode != SWEEP_ACT) {
        list_entry(info, name, sweep->mode, *sweep->records);
        return;
    }
    EntryOutcome outcome = delete_entry(&sweep->location, info, name, sweep->pattern);
    if (outcome == ENTRY_DELETED) {
        sweep->deleted++;
        return;
    }
    if (outcome == ENTRY_HELD)
        sweep->evidence.held++;
    else
        list_entry(info, name, SWEEP_LOOK, *sweep->records);  // left for good: the user sees it stays
    note_survivor(sweep, info, name);
}

// The platform's directory query, which alone filters a listing by a name mask in the file
// system: a root of 20,000 photos then costs no more than the few names of the pattern's kind.
typedef LONG(NTAPI *DirectoryQuery)(HANDLE dir, HANDLE event, PIO_APC_ROUTINE routine, PVOID context,
                                    PIO_STATUS_BLOCK status, PVOID buffer, ULONG length,
                                    FILE_INFORMATION_CLASS kind, BOOLEAN single, PUNICODE_STRING mask,
                                    BOOLEAN restart);

// Reads the next entries whose long or short name fits the mask; 0 when there are no more.
static int read_listing(HANDLE dir, UNICODE_STRING *mask, char *buffer, ULONG size, bool restart)
{
    static DirectoryQuery query =
        (DirectoryQuery)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryDirectoryFile");
    IO_STATUS_BLOCK status = {};
    return query && query(dir, nullptr, nullptr, nullptr, &status, buffer, size, FileIdBothDirectoryInformation,
                          FALSE, mask, restart) >= 0;
}

// Reads the location's listing of the pattern's names. The file system's matching only narrows
// the listing (it also matches short names); each long name is matched here again. At most
// SWEEP_FILE_LIMIT matching files are handled and SWEEP_EXAMINE_LIMIT entries examined, whatever
// they are; the rest wait for the next pass.
static void sweep_entries(Sweep *sweep)
{
    WCHAR mask_text[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, sweep->pattern, -1, mask_text, MAX_PATH))
        return;
    UNICODE_STRING mask;
    mask.Buffer = mask_text;
    mask.Length = (USHORT)(wcslen(mask_text) * sizeof(WCHAR));
    mask.MaximumLength = mask.Length;
    alignas(8) char buffer[16384];
    int examined = 0;
    bool restart = true;
    while (sweep->files < SWEEP_FILE_LIMIT && examined < SWEEP_EXAMINE_LIMIT &&
           read_listing(sweep->location.dir, &mask, buffer, sizeof buffer, restart)) {
        restart = false;
        size_t offset = 0;
        while (sweep->files < SWEEP_FILE_LIMIT && examined < SWEEP_EXAMINE_LIMIT) {
            const FILE_ID_BOTH_DIR_INFO *info = (const FILE_ID_BOTH_DIR_INFO *)(buffer + offset);
            size_t header = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
            if (offset + header > sizeof buffer || offset + header + info->FileNameLength > sizeof buffer)
                break;
            examined++;
            sweep_entry(sweep, info);
            if (info->NextEntryOffset == 0)
                break;
            offset += info->NextEntryOffset;
        }
    }
}

// Fills the folder: the note always, the program copy when the user wants it.
static void fill_new_folder(const SweepPaths *paths)
{
    write_folder_note(paths->info);
    if (program_copy_wanted())
        copy_program_to_folder(paths->folder);
}

// Attributes that resetting to archive would leave as they are, or change only by the archive
// bit of a directory, which nothing reads: a drive is not written to every few seconds for it.
static bool nothing_to_clear(DWORD attributes)
{
    return attributes == FILE_ATTRIBUTE_ARCHIVE || attributes == FILE_ATTRIBUTE_DIRECTORY ||
           attributes == (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
}

// Creates or refreshes the protection folder, or only clears the attributes of what is there.
// Returns the attributes of the folder path afterwards; they are read again only after a change.
static DWORD folder_step(const SweepPaths *paths, int mode, int removable, int deleted, int *folder_state)
{
    DWORD attributes = GetFileAttributesA(paths->folder);
    if ((mode == SWEEP_LOOK && removable) || deleted != 0) {
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            // A plain file of that name makes both writes fail; they fail quietly.
            if (program_copy_wanted() && is_own_entry(paths->folder)) {
                write_folder_note(paths->info);
                copy_program_to_folder(paths->folder);
            }
        } else if (CreateDirectoryA(paths->folder, nullptr)) {
            *folder_state = FOLDER_CREATED;
            fill_new_folder(paths);
            attributes = GetFileAttributesA(paths->folder);
        }
    } else if (mode != SWEEP_LOCKED && attributes != INVALID_FILE_ATTRIBUTES && !nothing_to_clear(attributes) &&
               is_own_entry(paths->folder)) {
        // A hidden, system or read-only autorun.inf loses those attributes; a missing one stays missing.
        SetFileAttributesA(paths->folder, FILE_ATTRIBUTE_ARCHIVE);
        attributes = GetFileAttributesA(paths->folder);
    }
    return attributes;
}

// Lists the protection folder when autorun.inf is a directory with no attribute but hidden and archive.
static void recognise_folder(DWORD attributes, int removable, char (&records)[RECORD_TEXT_SIZE], int *folder_state)
{
    if (attributes != FILE_ATTRIBUTE_DIRECTORY && attributes != (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE) &&
        attributes != (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN))
        return;
    append_file_record(records, FOLDER_RECORD_NAME, removable ? "съемный диск" : " ", " ");
    if (*folder_state != FOLDER_CREATED)
        *folder_state = FOLDER_PRESENT;
}

int sweep_location(const char *location, const char *pattern, int mode, char (&records)[RECORD_TEXT_SIZE],
                   int *deleted, int removable, int *folder_state, SweepEvidence *evidence)
{
    *deleted = 0;
    if (evidence)
        *evidence = SweepEvidence();
    SweepPaths paths;
    if (!build_sweep_paths(location, &paths))
        return 0;
    Sweep sweep = {};
    sweep.pattern = pattern;
    sweep.mode = mode;
    sweep.records = &records;
    if (open_location(location, &sweep.location)) {
        sweep_entries(&sweep);
        CloseHandle(sweep.location.dir);
    }
    *deleted = sweep.deleted;
    if (evidence)
        *evidence = sweep.evidence;
    DWORD attributes = folder_step(&paths, mode, removable, sweep.deleted, folder_state);
    recognise_folder(attributes, removable, records, folder_state);
    return sweep.files;
}
