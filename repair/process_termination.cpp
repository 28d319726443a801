#include "repair/process_termination.h"

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "log/event_log.h"

const char *const protected_process_names[PROTECTED_PROCESS_COUNT] = {
    "kestrix.exe", "explorer.exe", "alg.exe",     "sched.exe",         "services.exe", "winlogon.exe",
    "csrss.exe",   "ctfmon.exe",   "smss.exe",    "system",            "taskmgr.exe",  "msascui.exe",
    "sidebar.exe", "taskeng.exe",  "wisptit.exe", "dwm.exe",           "lsm.exe",      "lsass.exe",
    "searchindexer.exe", "spoolsv.exe", "svchost.exe", "wininit.exe", "[system process]",
};

// Beyond the list above, what Windows 10 and 11 need to keep the user's session usable
// (the kernel's own processes have no ".exe").
static const char *const WINDOWS_PROCESS_NAMES[] = {
    // the shell, its menus and its search
    "sihost.exe", "startmenuexperiencehost.exe", "shellexperiencehost.exe", "shellhost.exe", "searchhost.exe",
    "searchapp.exe", "searchui.exe", "applicationframehost.exe", "runtimebroker.exe", "taskhostw.exe",
    "taskhost.exe", "taskhostex.exe", "dllhost.exe",
    // logon, lock screen, input, fonts and consoles
    "userinit.exe", "logonui.exe", "lockapp.exe", "textinputhost.exe", "fontdrvhost.exe", "conhost.exe",
    // security
    "lsaiso.exe", "msmpeng.exe", "nissrv.exe", "securityhealthservice.exe", "securityhealthsystray.exe",
    "smartscreen.exe",
    // the kernel's own processes, sound, management and drivers in user mode
    "registry", "memory compression", "secure system", "audiodg.exe", "wmiprvse.exe", "wudfhost.exe",
};

enum { PROCESS_COLUMNS = 5, COLUMN_NOTE = 2 };

int is_protected_process_name(const char *lower_name)
{
    for (const char *name : protected_process_names)
        if (strcmp(lower_name, name) == 0)
            return 1;
    for (const char *name : WINDOWS_PROCESS_NAMES)
        if (strcmp(lower_name, name) == 0)
            return 1;
    return 0;
}

// Whether a process runs in the session this program runs in; 0 when either session cannot be read.
static int in_own_session(DWORD process_id)
{
    DWORD own_session = 0, session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &own_session) &&
           ProcessIdToSessionId(process_id, &session) && session == own_session;
}

// Our own process, whatever its file is called, and every process of another session
// (services, other users) stay out of a pass.
static int is_spared_process(DWORD process_id)
{
    return process_id == GetCurrentProcessId() || !in_own_session(process_id);
}

// The same processes as a snapshot lists, asked for their numbers only: several times cheaper.
int count_processes()
{
    DWORD size = 1024;
    for (;;) {
        DWORD *ids = (DWORD *)HeapAlloc(GetProcessHeap(), 0, size * sizeof(DWORD));
        if (!ids)
            return 0;
        DWORD used = 0;
        BOOL ok = EnumProcesses(ids, size * sizeof(DWORD), &used);
        HeapFree(GetProcessHeap(), 0, ids);
        if (!ok)
            return 0;
        if (used < size * sizeof(DWORD) || size >= 1u << 20)
            return (int)(used / sizeof(DWORD));
        size *= 2;  // a full buffer may have cut the list
    }
}

static void set_row_cell(HWND list, int column, const char *text)
{
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = (char *)text;
    SendMessageA(list, LVM_SETITEMTEXTA, 0, (LPARAM)&cell);
}

// Puts one process on a new top row: number, name in its own case, note " ", id, parent id.
static void insert_process_row(HWND list, int number, const PROCESSENTRY32 &entry)
{
    char cells[PROCESS_COLUMNS][TEXT_SIZE];
    for (auto &cell : cells)
        text_copy(cell, " ");
    text_format(cells[0], "%d", number);
    text_copy(cells[1], entry.szExeFile);
    text_format(cells[3], "%d", (int)entry.th32ProcessID);
    text_format(cells[4], "%d", (int)entry.th32ParentProcessID);

    LVITEMA row = {};
    SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&row);
    for (int column = 0; column < PROCESS_COLUMNS; column++)
        set_row_cell(list, column, cells[column]);
}

// Ends a process through the seam; a missing handle is a refusal too.
static int terminate(HANDLE process)
{
    return process && seam_terminate_process(process, 0);
}

// What a termination pass does with one foreign process: end it and note the outcome on its row.
static int terminate_listed(HWND list, DWORD process_id)
{
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id);
    int ended = terminate(process);
    set_row_cell(list, COLUMN_NOTE, ended ? "удален" : "нет доступа");
    if (process)
        CloseHandle(process);
    return ended;
}

// Remembers the last explorer.exe of the pass; an earlier one's handle is released.
static void remember_explorer(HANDLE *explorer, DWORD process_id)
{
    if (*explorer)
        CloseHandle(*explorer);
    *explorer = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id);
}

// Set when a pass ended the shell, until the check after the guard looks for it.
static int shell_ended;

// The shell is spared during the pass and ended only after every other foreign process.
static int terminate_explorer(HANDLE explorer)
{
    if (!explorer)
        return 0;
    int ended = terminate(explorer);
    CloseHandle(explorer);
    if (ended)
        shell_ended = 1;
    return ended;
}

int list_processes(HWND list, int mode)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    if (!Process32First(snapshot, &entry)) {
        CloseHandle(snapshot);
        return 0;
    }
    int terminating = mode == PROCESS_LIST_TERMINATE;
    int number = 0, terminated = 0;
    HANDLE explorer = nullptr;
    do {
        number++;
        insert_process_row(list, number, entry);
        char lower[MAX_PATH];
        text_copy(lower, entry.szExeFile);
        CharLowerA(lower);
        if (!terminating || is_spared_process(entry.th32ProcessID))
            continue;
        if (strcmp(lower, "explorer.exe") == 0)
            remember_explorer(&explorer, entry.th32ProcessID);
        if (!is_protected_process_name(lower))
            terminated += terminate_listed(list, entry.th32ProcessID);
    } while (Process32Next(snapshot, &entry));

    if (terminating) {
        terminated += terminate_explorer(explorer);
        text_format(app.scratch, "Остановлено процессов: %d.", terminated);
        log_event(app.scratch);
    }
    CloseHandle(snapshot);
    return number;
}

int refresh_process_list(HWND list)
{
    if (app.kill_guard == 1)
        return 0;
    app.process_count = count_processes();
    if (app.process_count != app.previous_process_count) {
        int held = hold_list_drawing(list);
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        list_processes(list, PROCESS_LIST_ONLY);
        release_list_drawing(list, held);
    }
    app.previous_process_count = app.process_count;
    return 1;
}

int kill_foreign_processes(HWND list)
{
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    list_processes(list, PROCESS_LIST_TERMINATE);
    app.kill_guard = 1;
    // A second pass restarts the guard with the full seven seconds.
    if (app.main_window)
        SetTimer(app.main_window, TIMER_KILL_GUARD, KILL_GUARD_MS, nullptr);
    return 1;
}

// Whether an explorer.exe runs in this session.
static int shell_is_running()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;  // nothing known: better no second shell
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int running = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !running; more = Process32Next(snapshot, &entry))
        running = lstrcmpiA(entry.szExeFile, "explorer.exe") == 0 && in_own_session(entry.th32ProcessID);
    CloseHandle(snapshot);
    return running;
}

// explorer.exe by its full path in the shared Windows folder (not a per-user one of a terminal
// server), never a file of that name found elsewhere.
static int start_shell()
{
    char folder[MAX_PATH], path[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !text_format(path, "%s\\explorer.exe", folder))
        return 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!seam_create_process(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &started))
        return 0;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 1;
}

int restart_shell_if_missing()
{
    if (!shell_ended)
        return 0;
    shell_ended = 0;
    return !shell_is_running() && start_shell();
}
