// The event log: 21 newest lines in memory, EventList, and the file KX_Log.txt.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstddef>

#include "log/event_text.h"

enum { EVENT_TEXT_LIMIT = 500, LOG_CARRY_LIMIT = 6000 };

// Records one event stamped with the local time. 1 when the older lines were
// shifted down, 0 when the line repeats the newest one or went into empty slot 0.
int log_event(const char *text);

// Rebuilds EventList from the slots, newest at the top. The record is a scratch copy.
int refresh_event_list(HWND list, LVITEMA item);

// Writes the slots on top of the earlier log content, then refreshes the copy file.
int save_event_log();

// HH:MM:SS of the local time.
int format_clock_time(char *out, size_t out_size);
// "7 декабря 2026 года. 09:05" of the local time.
int format_log_date(char *out, size_t out_size);
