#include "drives/watch_cycle.h"

#include <shellapi.h>

#include <cstring>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "drives/file_records.h"
#include "drives/protection_folder.h"
#include "log/event_log.h"
#include "repair/registry_repair.h"

static const char ALREADY_PROTECTED_TITLE[] = "Kestrix: защита уже есть.";
static const char ALREADY_PROTECTED_TEXT[] =
    "• Подключенное устройство уже содержит\n"
    "защитную папку \"autorun.inf\".\n"
    "Автозапуск любых программ (в том числе вирусов)\n"
    "с этого устройства невозможен.\n"
    "\n"
    "Щелкните правой кнопкой мыши по иконке   \n"
    "и выберите пункт  \"Открыть флешку\".";
static const char FOLDER_CREATED_TITLE[] = "Kestrix: создана папка защиты.";
static const char FOLDER_CREATED_TEXT[] =
    "• На подключенном устройстве создана\n"
    "папка \"autorun.inf\", которая делает невозможным\n"
    "автозапуск любых программ (в том числе вирусов)\n"
    "с этого устройства.\n"
    "\n"
    "Щелкните правой кнопкой мыши по иконке   \n"
    "и выберите пункт  \"Открыть флешку\".";

// Inserts an empty row at the top and fills its four columns.
static void insert_row(HWND list, LVITEMA item, const char *number, const char *address, const char *note,
                       const char *time)
{
    SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item);
    const char *columns[] = {number, address, note, time};
    for (int column = 0; column < 4; column++) {
        LVITEMA text = {};
        text.iSubItem = column;
        text.pszText = (char *)columns[column];
        SendMessageA(list, LVM_SETITEMTEXTA, 0, (LPARAM)&text);
    }
}

int add_file_rows(HWND list, LVITEMA item, const char *records, const char *location)
{
    int numbered = 0;
    FileRecord record;
    for (const char *cursor = records; next_file_record(&cursor, &record);) {
        // Shown only, never acted on: an address too long for its column is cut.
        text_format(app.file_row_address, "%s\\%s", location, record.name);
        char number[16] = "0";
        if (!strchr(app.file_row_address, '(')) {
            app.file_list_counter++;
            numbered++;
            text_format(number, "%d", app.file_list_counter);
        }
        insert_row(list, item, number, app.file_row_address, record.note, record.time);
    }
    return numbered;
}

int find_new_drive(const char *previous, const char *current)
{
    app.flash_root[0] = '\0';
    if (strlen(previous) >= strlen(current))
        return 0;
    for (const char *letter = current; *letter; letter++) {
        if (!strchr(previous, *letter)) {
            text_format(app.flash_root, "%c:\\", *letter);
            return 1;
        }
    }
    return 0;
}

int show_drive_balloon(int kind)
{
    if (kind == BALLOON_NONE)
        return 0;
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = app.main_window;
    icon.uID = 1;
    icon.uFlags = NIF_INFO;
    icon.dwInfoFlags = NIIF_INFO;
    icon.uTimeout = 6000;
    int created = kind == BALLOON_FOLDER_CREATED;
    text_copy(icon.szInfoTitle, created ? FOLDER_CREATED_TITLE : ALREADY_PROTECTED_TITLE);
    text_copy(icon.szInfo, created ? FOLDER_CREATED_TEXT : ALREADY_PROTECTED_TEXT);
    Shell_NotifyIconA(NIM_MODIFY, &icon);
    return 1;
}

// What one pass gathers besides the AppState counters.
struct PassTotals {
    char letters[32];
    int drives;
    int created;
    int write_protected;
    int held;                      // files a running process kept from deletion
    unsigned long long survivors;  // signature of the files the pass left in place; 0: none
};

// Between passes: what tells a live infection from a drive that cannot be cleaned.
static struct {
    int last_act_deleted;                // files the latest act pass deleted
    unsigned long long last_survivors;   // what the latest act pass left in place
    int termination_pending;             // a termination pass ran; the next act pass shows its effect
    unsigned long long spared_survivors; // files a termination pass could not free; 0: none
} reinfection;

// Adds one location's findings to the pass and to FileList.
static void collect_location(HWND list, LVITEMA item, const char *location, int found, int deleted,
                             int folder_state, const char *records, const SweepEvidence *evidence,
                             PassTotals *totals)
{
    if (found != 0 || folder_state != FOLDER_NONE) {
        app.autoruns_deleted += deleted;
        app.autoruns_found += found;
        add_file_rows(list, item, records, location);
    }
    if (folder_state == FOLDER_CREATED)
        totals->created++;
    totals->held += evidence->held;
    if (evidence->survivors)
        totals->survivors = totals->survivors * 1099511628211ull + evidence->survivors;
}

// Sweeps one drive letter when it is a fixed or removable drive that answers.
static void sweep_drive(HWND list, LVITEMA item, char letter, int mode, PassTotals *totals)
{
    char root[4] = {letter, ':', '\\', '\0'};
    char location[3] = {letter, ':', '\0'};
    UINT type = GetDriveTypeA(root);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE)
        return;
    int removable = type == DRIVE_REMOVABLE;
    // Success and the flags are all the pass uses; the label and the rest are not asked for.
    DWORD flags = 0;
    if (!seam_get_volume_information(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return;  // no medium, or not ready

    totals->write_protected = (flags & FILE_READ_ONLY_VOLUME) ? 1 : 0;
    totals->drives++;
    if (removable) {
        char letter_text[2] = {letter, '\0'};
        text_append(totals->letters, letter_text);
    }
    char records[RECORD_TEXT_SIZE] = "";
    int deleted = 0, folder_state = FOLDER_NONE;
    int sweep_mode = mode;
    if (totals->write_protected) {
        sweep_mode = SWEEP_LOCKED;
        if (mode != SCAN_LOOK)
            app.monitoring = 0;
    }
    SweepEvidence evidence;
    int found = sweep_location(location, "autorun.*", sweep_mode, records, &deleted, removable, &folder_state,
                               &evidence);
    collect_location(list, item, location, found, deleted, folder_state, records, &evidence, totals);
}

// Follows the removable drives that come and go between passes.
static void track_flash_drive(const PassTotals *totals)
{
    size_t count = strlen(totals->letters);
    if (count)
        text_format(app.last_removable_root, "%c:\\", totals->letters[count - 1]);
    else
        app.last_removable_root[0] = '\0';

    if (app.drive_count > totals->drives)
        app.flash_root[0] = '\0';
    else if (app.drive_count < totals->drives)
        find_new_drive(app.removable_letters, totals->letters);
}

// Whether an act pass shows a live infection: files it deleted came back since the act pass
// before, or a running process keeps a file from deletion. A file the sweep leaves alone (a
// link, a name it cannot reach) is no such sign, however often it is found.
static int live_infection_seen(const PassTotals *totals)
{
    return totals->held != 0 || (reinfection.last_act_deleted != 0 && app.autoruns_deleted != 0);
}

// Follows the evidence of an act pass on writable drives.
static void count_reinfection(const PassTotals *totals)
{
    app.reinfection_count = live_infection_seen(totals) ? app.reinfection_count + 1 : 0;
    reinfection.last_act_deleted = app.autoruns_deleted;
    reinfection.last_survivors = totals->survivors;
    if (reinfection.termination_pending)
        reinfection.spared_survivors = totals->survivors;
    reinfection.termination_pending = 0;
}

// Forgets what the act passes saw: after a clean pass, or when drives came or went (a drive
// plugged again may be cleaned by a termination pass, even with the same files).
static void forget_act_passes()
{
    reinfection.last_act_deleted = 0;
    reinfection.termination_pending = 0;
    reinfection.spared_survivors = 0;
}

int termination_due()
{
    if (app.reinfection_count <= 2)
        return 0;
    app.reinfection_count = 0;
    // A termination pass already failed to free these very files: another one would not either.
    if (reinfection.last_survivors != 0 && reinfection.last_survivors == reinfection.spared_survivors)
        return 0;
    reinfection.termination_pending = 1;
    return 1;
}

// Writes the pass summary into summary; returns the balloon kind.
static int compose_summary(int mode, const PassTotals *totals, char (&summary)[TEXT_SIZE])
{
    int balloon = BALLOON_NONE;
    if (app.drive_count != totals->drives || strcmp(app.removable_letters, totals->letters) != 0)
        forget_act_passes();
    if (app.autoruns_found == 0) {
        text_copy(summary, "Файлы autorun.* не найдены. Чисто.");
        app.reinfection_count = 0;
        forget_act_passes();
        if (app.drive_count < totals->drives)
            balloon = BALLOON_ALREADY_PROTECTED;
    } else if (mode == SCAN_LOOK) {
        text_format(summary, "Найдено файлов autorun.*: %d.", app.autoruns_found);
    } else {
        text_format(summary, "Найдено ауторанов: %d. Удалено: %d", app.autoruns_found, app.autoruns_deleted);
        if (totals->write_protected)
            text_append(summary, ".   Флешка защищена от записи (LOCK)");
        else
            count_reinfection(totals);
    }
    app.drive_count = totals->drives;
    text_copy(app.removable_letters, totals->letters);
    if (totals->created) {
        text_append(summary, "  Создана папка защиты.");
        balloon = BALLOON_FOLDER_CREATED;
    }
    return balloon;
}

int scan_removable_drives(HWND list, LVITEMA item, int mode)
{
    // Rows arrive one at a time; the list draws once, with all of them, before any box can show.
    int held = hold_list_drawing(list);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    app.file_list_counter = 0;
    PassTotals totals = {};

    char records[RECORD_TEXT_SIZE] = "";
    int deleted = 0, folder_state = FOLDER_NONE;
    app.autoruns_found = 0;
    app.autoruns_deleted = 0;
    SweepEvidence evidence;
    int found = sweep_location(app.system_dir, "autorun.*", mode, records, &deleted, 0, &folder_state, &evidence);
    collect_location(list, item, app.system_dir, found, deleted, folder_state, records, &evidence, &totals);

    // A letter that names no drive is skipped without asking for its type.
    DWORD present = GetLogicalDrives();
    if (present == 0)
        present = 0xFFFFFFFF;
    for (char letter = 'C'; letter <= 'Z'; letter++)
        if (present & (1u << (letter - 'A')))
            sweep_drive(list, item, letter, mode, &totals);
    release_list_drawing(list, held);

    track_flash_drive(&totals);
    // A handler that runs inside a message box of this pass's repair may overwrite scratch.
    char summary[TEXT_SIZE];
    int balloon = compose_summary(mode, &totals, summary);
    if (app.logoff_state == 1 && app.autoruns_found != 0)
        app.logoff_state = 2;
    repair_registry();
    log_event(summary);
    show_drive_balloon(balloon);
    return 1;
}
