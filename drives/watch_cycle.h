// The drive watch cycle: one pass over the system directory and drives C: to Z:.
#pragma once
#include <windows.h>
#include <commctrl.h>

enum { SCAN_LOOK = 0, SCAN_ACT = 1 };
enum { BALLOON_NONE = 0, BALLOON_ALREADY_PROTECTED = 1, BALLOON_FOLDER_CREATED = 2 };

// One look (0) or act (1) pass; fills FileList, tracks the flash drive, logs the
// summary, repairs the registry and may show a balloon. Returns 1.
int scan_removable_drives(HWND list, LVITEMA item, int mode);

// After an act pass: whether reinfection_count calls for a termination pass (it is reset to 0
// whenever it is above 2). A termination pass is not repeated for the same files when the one
// before could not get them deleted; other files, or the drives coming or going, allow it again.
int termination_due();

// Inserts one FileList row per record line of one location; returns the numbered rows.
int add_file_rows(HWND list, LVITEMA item, const char *records, const char *location);

// Sets flash_root to the first letter of current missing from previous; 1 when found.
int find_new_drive(const char *previous, const char *current);

// Shows the balloon of the given kind on the tray icon; 0 for kind 0, else 1.
int show_drive_balloon(int kind);
