// ProcessList and the termination of every process that is not a known system one.
#pragma once
#include <windows.h>

enum { PROCESS_LIST_ONLY = 0, PROCESS_LIST_TERMINATE = 2, PROTECTED_PROCESS_COUNT = 23, KILL_GUARD_MS = 7000 };

// Lower-case executable names that a termination pass leaves running.
extern const char *const protected_process_names[PROTECTED_PROCESS_COUNT];

// Whether a lower-cased executable name is on that list or names a process Windows 10
// and 11 need to keep the session usable.
int is_protected_process_name(const char *lower_name);

// Number of entries in a fresh process snapshot; 0 when none can be taken.
int count_processes();

// Adds one row per running process at the top of the list; mode 2 also terminates
// the foreign ones: not this program, whatever its file is called, nor a process of another session.
// Returns the number of processes listed, 0 when the snapshot fails.
int list_processes(HWND list, int mode);

// Rebuilds the list when the process count changed; 0 while the kill guard holds it still.
int refresh_process_list(HWND list);

// Rebuilds the list while terminating, then holds it still for seven seconds.
int kill_foreign_processes(HWND list);

// Once the guard after a pass that ended the shell is over: starts explorer.exe from the
// Windows folder when no explorer.exe runs in this session. 1 when it was started.
int restart_shell_if_missing();
