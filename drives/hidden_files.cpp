#include "drives/hidden_files.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "app/app_state.h"
#include "app/system_commands.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "log/event_log.h"

// What one run over a folder has seen.
struct UnhideCounts {
    int found;    // entries examined
    int visible;  // entries whose attributes were reset
    int hidden;   // entries that had the hidden or system attribute
};

// Room for a 512-byte folder, the separator and the longest name a search returns.
enum { ENTRY_PATH_SIZE = TEXT_SIZE + MAX_PATH };

// Shows one of this operation's messages, then lets whichever window the user picks come forward.
static void show_message(const char *text)
{
    seam_message_box(nullptr, text, "Сообщение", MB_TOPMOST | MB_ICONINFORMATION);
    SetForegroundWindow(nullptr);
}

// "." and ".." lead out of the folder. Only the first entry is tested for "." because
// that is where a search returns it; every name holding ".." is passed over.
static int skipped_entry(const char *name, int first)
{
    if (first)
        return strcmp(name, ".") == 0;
    return strstr(name, "..") != nullptr;
}

// Resets a symbolic link or junction through a handle on the link itself. When the
// system hands back the target instead (the handle shows no reparse point), nothing is
// changed: the target may lie anywhere, outside the folder the user chose.
static int reset_link_attributes(const char *path)
{
    HANDLE link = CreateFileA(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE)
        return 0;
    int reset = 0;
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(link, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        memset(&basic, 0, sizeof basic);  // zero times stay as they are
        basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        reset = SetFileInformationByHandle(link, FileBasicInfo, &basic, sizeof basic) != 0;
    }
    CloseHandle(link);
    return reset;
}

// Leaves an entry with the archive attribute alone (no hidden, system or read-only).
static int reset_entry_attributes(const char *path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return reset_link_attributes(path);
    return SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE) != 0;
}

// Logs a hidden entry, with the header before the first one of the run.
static void log_hidden_entry(const char *path, int first, UnhideCounts *counts)
{
    if (counts->hidden == 0)
        log_event(first ? "Найдены скрытые файлы." : "Найдены скрытые файлы: ");
    counts->hidden++;
    // An event text holds at most EVENT_TEXT_LIMIT characters; a longer path is shown cut.
    text_format_n(app.scratch, EVENT_TEXT_LIMIT + 1, "%d. %s", counts->hidden, path);
    log_event(app.scratch);
}

// True when an entry listed by the search is no longer there.
static int entry_vanished(const char *path)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return 0;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Makes one entry visible, then counts it and logs it when it was hidden.
static void unhide_entry(const char *folder, const WIN32_FIND_DATAA *entry, int first, UnhideCounts *counts)
{
    // The folder keeps its own trailing backslash, so a folder from the dialog gives
    // two backslashes here; the system reads them as one.
    char path[ENTRY_PATH_SIZE];
    int whole = text_format(path, "%s\\%s", folder, entry->cFileName);
    int reset = whole && reset_entry_attributes(path, entry->dwFileAttributes);
    // An entry deleted since the search listed it is neither visible nor left hidden:
    // counting it would report a hidden entry that no longer exists.
    if (!reset && whole && entry_vanished(path))
        return;
    counts->found++;
    if (entry->dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        log_hidden_entry(path, first, counts);
    if (reset)
        counts->visible++;
}

// Composes the closing message into scratch.
static void compose_report(const char *folder, const UnhideCounts *counts)
{
    if (counts->hidden)
        text_format(app.scratch,
                    "Директория:\n%s.\nФайлов и папок найдено: %d;\nВидимых: %d;\nСкрытых было: %d;\n"
                    "Скрытых осталось: %d.",
                    folder, counts->found, counts->visible, counts->hidden, counts->found - counts->visible);
    else
        text_format(app.scratch, "Проверено файлов и папок: %d.   \nСкрытые файлы не обнаружены.    ",
                    counts->found);
}

int unhide_folder(const char *folder)
{
    char pattern[ENTRY_PATH_SIZE];
    WIN32_FIND_DATAA entry;
    HANDLE search = INVALID_HANDLE_VALUE;
    if (text_format(pattern, "%s\\*.*", folder))
        search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        show_message("Данные получить невозможно.    ");
        return 0;
    }
    UnhideCounts counts = {0, 0, 0};
    int first = 1;
    do {
        if (!skipped_entry(entry.cFileName, first))
            unhide_entry(folder, &entry, first, &counts);
        first = 0;
    } while (FindNextFileA(search, &entry));
    FindClose(search);

    if (counts.found == 0) {
        show_message("Пустая папка...   ");
        return 0;
    }
    if (counts.hidden)
        save_event_log();  // the list of what was hidden survives even if the program is closed badly
    compose_report(folder, &counts);
    show_message(app.scratch);
    open_with_shell(folder, app.main_window);
    return 1;
}

// The file-open dialog serves as a folder chooser: its filter matches no ordinary
// file, so only folders show, and the user presses Open inside the wanted folder.
int show_hidden_files()
{
    char path[TEXT_SIZE];
    text_copy(path, "Push OPEN");
    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = app.main_window;
    dialog.lpstrFilter = "Показать только папки.\0*.papka;*.papka;\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrInitialDir = app.flash_root[0] ? app.flash_root : app.desktop_dir;
    dialog.lpstrTitle = "Откройте диск или папку.";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (!seam_get_open_file_name(&dialog))
        return 0;
    // Cut at the file-name part: the folder keeps its backslash, a root stays "E:\".
    size_t length = strnlen(path, sizeof path);
    if (dialog.nFileOffset == 0 || dialog.nFileOffset > length)
        return 0;  // no folder in front of the name: nothing safe to work on
    path[dialog.nFileOffset] = '\0';
    unhide_folder(path);
    return 1;
}
