// Autorun removal and the protection folder: one location per sweep.
#include "drives/protection_folder.h"

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

// What opening path reaches, links followed; 0 when it cannot tell.
static int identify(const char *path, FileIdentity *identity)
{
    HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION information = {};
    DWORD name_room = (DWORD)(sizeof *identity - offsetof(FileIdentity, name));
    int known = GetFileInformationByHandle(handle, &information) &&
                GetFileInformationByHandleEx(handle, FileNameInfo, &identity->name, name_room);
    CloseHandle(handle);
    identity->volume = information.dwVolumeSerialNumber;
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

// The three paths one sweep works with.
struct SweepPaths {
    char search[TEXT_SIZE];
    char folder[TEXT_SIZE];
    char info[TEXT_SIZE];
};

static int build_sweep_paths(const char *location, const char *pattern, SweepPaths *paths)
{
    return text_format(paths->search, "%s\\%s", location, pattern) &&
           text_format(paths->folder, "%s\\%s", location, FOLDER_NAME) &&
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

// Deletes one found file; 1 when it is gone. A link is left alone: under Wine deleting it deletes its target.
static int delete_entry(const char *location, const WIN32_FIND_DATAA *entry)
{
    // The short name reaches a file whose long name the code page cannot spell.
    const char *name = entry->cAlternateFileName[0] ? entry->cAlternateFileName : entry->cFileName;
    char path[TEXT_SIZE];
    if (!text_format(path, "%s\\%s", location, name) || !is_own_entry(path))
        return 0;
    return force_delete_file(path);
}

// Appends the record of one found file.
static void list_entry(const WIN32_FIND_DATAA *entry, int mode, char (&records)[RECORD_TEXT_SIZE])
{
    char note[32];
    if (mode == SWEEP_LOCKED)
        text_copy(note, "LOCK");
    else
        attribute_note(entry->dwFileAttributes, note, sizeof note);
    char time[32];
    format_file_time(&entry->ftLastWriteTime, time, sizeof time);
    append_file_record(records, entry->cFileName, note, time);
}

// Whether name has the pattern's form, '*' for any run and '?' for one character, letter case aside.
static int matches_pattern(const char *name, const char *pattern)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return matches_pattern(name, pattern + 1) || (*name && matches_pattern(name + 1, pattern));
    if (*name == '\0')
        return 0;
    int same = *pattern == '?' || tolower((unsigned char)*name) == tolower((unsigned char)*pattern);
    return same && matches_pattern(name + 1, pattern + 1);
}

// Examines at most SWEEP_ENTRY_LIMIT entries of the search; returns the files among them.
static int sweep_entries(const char *location, const char *pattern, const SweepPaths *paths, int mode,
                         char (&records)[RECORD_TEXT_SIZE], int *deleted)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(paths->search, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    int examined = 0;
    do {
        examined++;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;  // the protection folder matches the pattern too
        // The platform's search lets "autorun.*" find a user's file called just "autorun".
        if (!matches_pattern(entry.cFileName, pattern))
            continue;
        count++;
        if (mode == SWEEP_ACT)
            *deleted += delete_entry(location, &entry);
        else
            list_entry(&entry, mode, records);
    } while (examined < SWEEP_ENTRY_LIMIT && FindNextFileA(search, &entry));
    FindClose(search);
    return count;
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
                   int *deleted, int removable, int *folder_state)
{
    *deleted = 0;
    SweepPaths paths;
    if (!build_sweep_paths(location, pattern, &paths))
        return 0;
    int count = sweep_entries(location, pattern, &paths, mode, records, deleted);
    DWORD attributes = folder_step(&paths, mode, removable, *deleted, folder_state);
    recognise_folder(attributes, removable, records, folder_state);
    return count;
}
