// Launching programs and system tools, restart and shutdown, the clipboard file
// and the result message box.
#pragma once
#include <windows.h>

enum { RUN_STARTED = 33, RESULT_TEXT_SIZE = 1024, RESULT_CAPTION_SIZE = 256 };

// Tools of the system start by their full path under the system directory (the
// registry editor under the Windows directory), with that directory as their current
// one, so that a program of the same name beside Kestrix or in its current directory
// never runs in their place. Each returns RUN_STARTED, or 0 when nothing started.
//
// program: a file name in the system directory; arguments follow it on the command line.
int start_system_tool(const char *program, const char *arguments);
// A management console: mmc.exe with the full path of the .msc file.
int open_console(const char *console_file);
// A control panel item: control.exe with the full path of the .cpl file.
int open_control_panel(const char *panel_file);
int open_registry_editor();
// A document or folder given by its full path ("C:\...") or a web address, opened by
// the shell. Anything else (a bare or relative name) is refused: the shell would look
// for it in the current directory first.
int open_with_shell(const char *target, HWND owner);
// Restart and switch-off through the system's shutdown command, at once. Always 1.
int restart_computer();
int shut_down_computer();
// Writes the clipboard's text to path byte for byte. 1 when written, else 0.
int clipboard_text_to_file(const char *path);
// The topmost information box; a caption shorter than two characters becomes "Результат".
void show_result(const char *text, const char *caption);
