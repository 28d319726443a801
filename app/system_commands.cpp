#include "app/system_commands.h"

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "common/seams.h"
#include "log/settings_file.h"

// True when target names an existing folder.
static int is_folder(const char *target)
{
    DWORD attributes = GetFileAttributesA(target);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int run_or_open(const char *target, HWND owner)
{
    // WinExec starts programs and command lines; the shell opens everything it
    // cannot: documents, .msc and .cpl consoles, folders and web addresses.
    // A folder goes to the shell alone: as a command line, "E:\New folder\" names the
    // program "E:\New", and WinExec would start an E:\New.exe lying beside it.
    if (!is_folder(target) && seam_win_exec(target, SW_SHOWNORMAL) > 31)
        return RUN_STARTED;
    INT_PTR opened = (INT_PTR)seam_shell_execute(owner, nullptr, target, nullptr, nullptr, SW_SHOWNORMAL);
    return opened > 32 ? RUN_STARTED : 0;
}

// Runs the shutdown command in one option form, then in the other if that did not start.
static void run_shutdown(const char *dash_form, const char *slash_form)
{
    if (seam_win_exec(dash_form, SW_SHOWDEFAULT) < 32)
        seam_win_exec(slash_form, SW_SHOWDEFAULT);
}

int restart_computer()
{
    run_shutdown("shutdown -r -t 0", "shutdown /r /t 0");
    return 1;
}

int shut_down_computer()
{
    run_shutdown("shutdown -s -t 0", "shutdown /s /t 0");
    return 1;
}

// Copies the clipboard's CF_TEXT into a new heap block; nullptr when there is none.
// The block's size bounds the text, so data without a terminating zero is still safe.
static char *copy_clipboard_text(size_t *length)
{
    if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(nullptr))
        return nullptr;
    char *copy = nullptr;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char *text = data ? (const char *)GlobalLock(data) : nullptr;
    if (text) {
        *length = strnlen(text, GlobalSize(data));
        copy = (char *)HeapAlloc(GetProcessHeap(), 0, *length + 1);
        if (copy)
            memcpy(copy, text, *length);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return copy;
}

int clipboard_text_to_file(const char *path)
{
    size_t length = 0;
    char *text = copy_clipboard_text(&length);
    if (!text)
        return 0;
    int written = 0;
    FILE *file = open_stream(path, "wb");
    if (file) {
        written = fwrite(text, 1, length, file) == length;
        written = (fclose(file) == 0) && written;
    }
    HeapFree(GetProcessHeap(), 0, text);
    return written;
}

void show_result(const char *text, const char *caption)
{
    char box_text[RESULT_TEXT_SIZE];
    char box_caption[RESULT_CAPTION_SIZE];
    text_copy(box_text, text ? text : "");  // a longer text is shown cut
    text_copy(box_caption, caption ? caption : "");
    if (strlen(box_caption) < 2)
        text_copy(box_caption, "Результат");
    seam_message_box(nullptr, box_text, box_caption, MB_TOPMOST | MB_ICONINFORMATION);
    // Give the foreground back so that the window under the box does not keep it.
    SetForegroundWindow(nullptr);
}
