#include "app/system_commands.h"

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "common/seams.h"
#include "common/text_sizes.h"
#include "log/settings_file.h"

// The system directory, or the Windows directory; 0 when it does not fit.
static int system_folder(char (&folder)[TEXT_SIZE], bool windows_folder)
{
    UINT length = windows_folder ? GetSystemWindowsDirectoryA(folder, sizeof folder)
                                 : GetSystemDirectoryA(folder, sizeof folder);
    return length != 0 && length < sizeof folder;
}

// Starts folder\program with its quoted full path as the application and the first word
// of the command line, and the system directory as its current directory.
static int start_program_in(bool windows_folder, const char *program, const char *arguments)
{
    char folder[TEXT_SIZE], system_dir[TEXT_SIZE], application[TEXT_SIZE], command_line[COMMAND_LINE_SIZE];
    if (!system_folder(folder, windows_folder) || !system_folder(system_dir, false) ||
        !text_format(application, "%s\\%s", folder, program) ||
        !text_format(command_line, arguments[0] ? "\"%s\" %s" : "\"%s\"", application, arguments))
        return 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!seam_create_process(application, command_line, nullptr, nullptr, FALSE, 0, nullptr, system_dir, &startup,
                             &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return RUN_STARTED;
}

int start_system_tool(const char *program, const char *arguments)
{
    return start_program_in(false, program, arguments);
}

int open_registry_editor()
{
    return start_program_in(true, "regedit.exe", "");
}

// Starts program with the quoted full path of a file of the system directory.
static int start_with_system_file(const char *program, const char *file_name)
{
    char folder[TEXT_SIZE], argument[TEXT_SIZE];
    if (!system_folder(folder, false) || !text_format(argument, "\"%s\\%s\"", folder, file_name))
        return 0;
    return start_system_tool(program, argument);
}

int open_console(const char *console_file)
{
    return start_with_system_file("mmc.exe", console_file);
}

int open_control_panel(const char *panel_file)
{
    return start_with_system_file("control.exe", panel_file);
}

// "X:\..." or a web address: nothing the shell would search for.
static bool names_a_full_path_or_address(const char *target)
{
    bool drive_path = ((target[0] | 0x20) >= 'a' && (target[0] | 0x20) <= 'z') && target[1] == ':' &&
                      target[2] == '\\';
    return drive_path || strncmp(target, "http://", 7) == 0 || strncmp(target, "https://", 8) == 0;
}

int open_with_shell(const char *target, HWND owner)
{
    if (!names_a_full_path_or_address(target))
        return 0;
    INT_PTR opened = (INT_PTR)seam_shell_execute(owner, nullptr, target, nullptr, nullptr, SW_SHOWNORMAL);
    return opened > 32 ? RUN_STARTED : 0;
}

// Runs the shutdown command in one option form, then in the other if that did not start.
static void run_shutdown(const char *dash_form, const char *slash_form)
{
    if (!start_system_tool("shutdown.exe", dash_form))
        start_system_tool("shutdown.exe", slash_form);
}

int restart_computer()
{
    run_shutdown("-r -t 0", "/r /t 0");
    return 1;
}

int shut_down_computer()
{
    run_shutdown("-s -t 0", "/s /t 0");
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
