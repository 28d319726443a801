// The notification-area icon, showing and hiding the main window, and the popup menu.
#pragma once
#include <windows.h>

// Mode 1 hides the window to the tray; 0 and 2 show it. The icon exists exactly while the
// window is hidden. Returns 1.
int show_main_window(int mode);

// Adds (non-zero) or deletes (0) the notification-area icon. Returns 1 whatever the shell says.
int tray_icon(int add);

// The popup menu with the check marks of the current options; nullptr when it cannot be made.
HMENU build_popup_menu();

// Handles the icon's callback message: lparam is the mouse message. Returns 1 when it acted.
int on_tray_notify(LPARAM lparam);

// Opens popup_menu again at menu_point, so that several options can be toggled in a row.
int reopen_popup_menu();

// Sets or clears the check mark of a menu item after its option changed.
void set_menu_check(int command, int checked);

// The message the shell broadcasts when its taskbar is (re)created.
UINT taskbar_created_message();

// Lets that message through to the window even though the program runs elevated.
void allow_taskbar_created(HWND window);

// A restarted shell forgets every icon: put ours back while the window is hidden. Returns 1
// when the icon was added again.
int on_taskbar_created();
