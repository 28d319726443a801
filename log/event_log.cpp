#include "log/event_log.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/calendar_system_time.h"
#include "common/link_safe_files.h"
#include "common/seams.h"
#include "log/settings_file.h"

// Length of "HH:MM:SS" and the three separator spaces in front of every event text.
enum { EVENT_PREFIX_LENGTH = 11 };

int format_clock_time(char *out, size_t out_size)
{
    SYSTEMTIME now;
    seam_get_local_time(&now);
    CalendarTime fields = calendar_from_system_time(now);
    return format_clock_text(&fields, out, out_size);
}

int format_log_date(char *out, size_t out_size)
{
    SYSTEMTIME now;
    seam_get_local_time(&now);
    CalendarTime fields = calendar_from_system_time(now);
    return format_log_date_text(&fields, out, out_size);
}

// Lines that differ only in their time count as the same event.
static int same_event(const char *line, const char *newest)
{
    if (newest[0] == '\0')
        return 1;
    size_t length = strlen(line);
    if (length != strlen(newest))
        return 0;
    if (length < EVENT_PREFIX_LENGTH)
        return strcmp(line, newest) == 0;
    return strcmp(line + EVENT_PREFIX_LENGTH, newest + EVENT_PREFIX_LENGTH) == 0;
}

int log_event(const char *text)
{
    char clock[16];
    format_clock_time(clock, sizeof clock);
    // A text over the limit is cut to what the slot holds; callers keep within 500 characters.
    char line[TEXT_SIZE];
    text_format(line, "%s   %s", clock, text);

    if (same_event(line, app.events[0])) {
        // Only the first occurrence of a repeated message is kept, with its own time.
        if (app.events[0][0] == '\0')
            text_copy(app.events[0], line);
        return 0;
    }
    for (int slot = EVENT_SLOTS - 1; slot > 0; slot--)
        text_copy(app.events[slot], app.events[slot - 1]);
    text_copy(app.events[0], line);
    return 1;
}

// Sets one cell of an existing row.
static void set_cell(HWND list, int row, int column, char *text)
{
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = text;
    SendMessageA(list, LVM_SETITEMTEXTA, (WPARAM)row, (LPARAM)&cell);
}

int refresh_event_list(HWND list, LVITEMA item)
{
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    memset(&item, 0, sizeof item);
    // Oldest first, each at the top, so the newest ends up on the first row.
    for (int slot = EVENT_SLOTS - 1; slot >= 0; slot--) {
        char time_part[TEXT_SIZE], text_part[TEXT_SIZE];
        if (!split_event_line(app.events[slot], time_part, sizeof time_part, text_part, sizeof text_part))
            continue;
        SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item);
        set_cell(list, 0, 0, time_part);
        set_cell(list, 0, 1, text_part);
    }
    return 1;
}

// Whether the earlier log content in the copy file goes below the new block.
static int carry_over_wanted(char *copy_path)
{
    return path_exists(copy_path) && count_file_bytes(copy_path) <= LOG_CARRY_LIMIT;
}

// Appends the copy file to the log byte for byte: a binary copy file, NUL or
// Ctrl-Z bytes and lines of any length come through as they were.
static void append_earlier_content(FILE *log, const char *copy_path)
{
    FILE *copy = open_stream(copy_path, "rb");
    if (!copy)
        return;
    fflush(log);
    _setmode(_fileno(log), _O_BINARY);
    char buffer[TEXT_SIZE];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, copy)) > 0)
        fwrite(buffer, 1, count, log);
    fclose(copy);
}

// Header, the non-empty slots newest first, and the end marker.
static void write_current_block(FILE *log)
{
    char date[128];
    format_log_date(date, sizeof date);
    fprintf(log, "------%s-------\n\n", date);
    for (int slot = 0; slot < EVENT_SLOTS; slot++)
        if (app.events[slot][0] != '\0')
            fprintf(log, "%s\n", app.events[slot]);
    fputs("--Конец.--\n\n\n\n", log);
}

// Replaces the copy file's bytes with the log file just written (never through a link).
static void refresh_copy_file(const char *copy_path)
{
    copy_file_no_links(app.log_path, copy_path);
}

int save_event_log()
{
    char copy_path[TEXT_SIZE];
    // Without a whole copy-file name there is no history to read or keep: the block goes alone.
    int have_copy = text_format(copy_path, "%s.tmp", app.log_path);
    int carry = have_copy && carry_over_wanted(copy_path);

    FILE *log = open_stream(app.log_path, "w");
    // Nothing to write to: the copy file keeps the earlier history for the next save.
    if (!log)
        return 1;
    write_current_block(log);
    if (carry)
        append_earlier_content(log, copy_path);
    fclose(log);
    if (have_copy)
        refresh_copy_file(copy_path);
    return 1;
}
