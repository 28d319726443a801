// Launching programs and system tools, restart and shutdown, the clipboard file
// and the result message box.
#pragma once
#include <windows.h>

enum { RUN_STARTED = 33, RESULT_TEXT_SIZE = 1024, RESULT_CAPTION_SIZE = 256 };

// Starts a program or command line, or opens a document, console, folder or web
// address. RUN_STARTED on success, 0 when neither way worked.
int run_or_open(const char *target, HWND owner);
// Restart and switch-off through the system's shutdown command, at once. Always 1.
int restart_computer();
int shut_down_computer();
// Writes the clipboard's text to path byte for byte. 1 when written, else 0.
int clipboard_text_to_file(const char *path);
// The topmost information box; a caption shorter than two characters becomes "Результат".
void show_result(const char *text, const char *caption);
