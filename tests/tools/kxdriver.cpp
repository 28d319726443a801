// kxdriver: drives a running Kestrix from outside, for the e2e scenarios.
//   kxdriver find <title> [timeout_ms]     wait for a top-level window, exit 1 if none
//   kxdriver gone <title> [timeout_ms]     wait until no such window remains
//   kxdriver count <title>                 print how many top-level windows have the title
//   kxdriver state <title>                 print visibility, placement and style facts
//   kxdriver post <title> <msg> [w] [l]    post a message (numbers, or WM_CLOSE)
//   kxdriver minimize|restore <title>      change the window's show state
//   kxdriver rows <title> <list>           print the rows of child list view <list> (0 FileList,
//                                          1 ProcessList, 2 EventList), columns joined by "|"
//   kxdriver visible-list <title>          print which of the three lists is visible (0, 1, 2 or -1)
//   kxdriver box <caption> [timeout_ms]    wait for a message box, print its text, press OK
//   kxdriver tray <title>                  print 1 when the shell holds the window's icon 1, else 0
//   kxdriver menus <title>                 print how many popup menus are open on the screen
//   kxdriver post-registered <title> <name>  post the registered message of that name
//   kxdriver ping <title> [timeout_ms]     wait for the window's thread to answer; print the milliseconds
//   kxdriver dialogs                       print the caption of every visible dialog window (#32770)
//   kxdriver measure <title>               print the program's open handles (counted, and as the
//                                          system calls report them), its own counts of live GDI,
//                                          GDI+ and USER objects, and how long the window took to
//                                          answer the question
//   kxdriver answers <title> <ms> [step]   ask the window every step ms (200) for ms: print how many
//                                          answers came, how many did not within 5 s, the slowest
//   kxdriver client-origin <title>         print the screen position of the client area's corner
//   kxdriver process <name> [timeout_ms]   wait until a process of that file name runs, exit 1 if none
//   kxdriver balloon [timeout_ms]          wait for a notification balloon shown by the shell; print
//                                          its title on one line and its text (line feeds as "\n")
//                                          on the next, in code page 1251
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

struct Search {
    const char *title;
    int count;
    HWND first;
};

static BOOL CALLBACK count_window(HWND window, LPARAM param)
{
    Search *search = (Search *)param;
    char text[512];
    if (GetWindowTextA(window, text, sizeof text) && strcmp(text, search->title) == 0) {
        if (!search->count)
            search->first = window;
        search->count++;
    }
    return TRUE;
}

static Search find_windows(const char *title)
{
    Search search = {title, 0, nullptr};
    EnumWindows(count_window, (LPARAM)&search);
    return search;
}

static HWND wait_window(const char *title, int timeout_ms)
{
    for (int waited = 0;; waited += 50) {
        Search search = find_windows(title);
        if (search.first || waited >= timeout_ms)
            return search.first;
        Sleep(50);
    }
}

static UINT message_number(const char *name)
{
    if (strcmp(name, "WM_CLOSE") == 0)
        return WM_CLOSE;
    if (strcmp(name, "WM_SYSCOMMAND") == 0)
        return WM_SYSCOMMAND;
    if (strcmp(name, "WM_COMMAND") == 0)
        return WM_COMMAND;
    if (strcmp(name, "WM_HOTKEY") == 0)
        return WM_HOTKEY;
    if (strcmp(name, "WM_CANCELMODE") == 0)
        return WM_CANCELMODE;
    return (UINT)strtoul(name, nullptr, 0);
}

struct ListSearch {
    HWND lists[8];
    int count;
};

static BOOL CALLBACK collect_list(HWND child, LPARAM param)
{
    ListSearch *search = (ListSearch *)param;
    char class_name[64];
    if (GetClassNameA(child, class_name, sizeof class_name) && strcmp(class_name, "SysListView32") == 0 &&
        search->count < 8)
        search->lists[search->count++] = child;
    return TRUE;
}

// The main window's list views in creation order.
static ListSearch find_lists(HWND window)
{
    ListSearch search = {};
    EnumChildWindows(window, collect_list, (LPARAM)&search);
    return search;
}

// Reads a list view of another process: the item record and text buffer live in its memory.
static int print_rows(HWND list)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return 1;
    const SIZE_T text_size = 1024;
    char *remote = (char *)VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + text_size, MEM_COMMIT, PAGE_READWRITE);
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    int columns = header ? (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) : 1;
    for (int row = 0; row < rows; row++) {
        for (int column = 0; column < columns; column++) {
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = remote + sizeof(LVITEMA);
            item.cchTextMax = (int)text_size;
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)remote);
            char text[1024] = "";
            ReadProcessMemory(process, remote + sizeof(LVITEMA), text, text_size - 1, nullptr);
            printf("%s%s", column ? "|" : "", text);
        }
        printf("\n");
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return 0;
}

struct BoxSearch {
    const char *caption;
    HWND found;
};

static BOOL CALLBACK match_box(HWND window, LPARAM param)
{
    BoxSearch *search = (BoxSearch *)param;
    char class_name[64], text[256];
    if (GetClassNameA(window, class_name, sizeof class_name) && strcmp(class_name, "#32770") == 0 &&
        GetWindowTextA(window, text, sizeof text) && strcmp(text, search->caption) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Prints a message box's text (its static control 0xFFFF) and presses OK.
static int read_and_close_box(const char *caption, int timeout_ms)
{
    BoxSearch search = {caption, nullptr};
    for (int waited = 0; !search.found; waited += 50) {
        EnumWindows(match_box, (LPARAM)&search);
        if (search.found || waited >= timeout_ms)
            break;
        Sleep(50);
    }
    if (!search.found)
        return 1;
    char text[2048] = "";
    GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
    printf("%s\n", text);
    PostMessageA(search.found, WM_COMMAND, IDOK, 0);
    return 0;
}

// Whether a process of that file name is in the system's process list, as a snapshot shows it.
static bool process_runs(const char *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, name) == 0;
    CloseHandle(snapshot);
    return found;
}

// A balloon is a visible tooltip window of the shell's with the balloon style.
static BOOL CALLBACK match_balloon(HWND window, LPARAM param)
{
    char class_name[64];
    if (IsWindowVisible(window) && GetClassNameA(window, class_name, sizeof class_name) &&
        strcmp(class_name, "tooltips_class32") == 0 && (GetWindowLongA(window, GWL_STYLE) & TTS_BALLOON)) {
        *(HWND *)param = window;
        return FALSE;
    }
    return TRUE;
}

// Prints a wide text in code page 1251, line feeds written as "\n".
static void print_wide_line(const WCHAR *text)
{
    char narrow[2048] = "";
    WideCharToMultiByte(1251, 0, text, -1, narrow, sizeof narrow - 1, "?", nullptr);
    for (const char *c = narrow; *c; c++)
        if (*c == '\n')
            printf("\\n");
        else if (*c != '\r')
            putchar(*c);
    putchar('\n');
}

// The title lives in the shell's memory, so the question and its answer are placed there.
static int print_balloon(int timeout_ms)
{
    HWND balloon = nullptr;
    for (int waited = 0; !balloon && waited <= timeout_ms; waited += 50) {
        EnumWindows(match_balloon, (LPARAM)&balloon);
        if (!balloon)
            Sleep(50);
    }
    if (!balloon)
        return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(balloon, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return 1;
    const UINT title_chars = 128;
    char *remote = (char *)VirtualAllocEx(process, nullptr, sizeof(TTGETTITLE) + title_chars * sizeof(WCHAR),
                                          MEM_COMMIT, PAGE_READWRITE);
    WCHAR title[128] = L"";
    if (remote) {
        TTGETTITLE question = {};
        question.dwSize = sizeof question;
        question.cch = title_chars;
        question.pszTitle = (WCHAR *)(remote + sizeof question);
        WriteProcessMemory(process, remote, &question, sizeof question, nullptr);
        SendMessageW(balloon, TTM_GETTITLE, 0, (LPARAM)remote);
        ReadProcessMemory(process, remote + sizeof question, title, sizeof title - sizeof(WCHAR), nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    WCHAR text[1024] = L"";
    SendMessageW(balloon, WM_GETTEXT, sizeof text / sizeof text[0], (LPARAM)text);
    print_wide_line(title);
    print_wide_line(text);
    return 0;
}

static int print_state(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    LONG ex_style = GetWindowLongA(window, GWL_EXSTYLE);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    printf("visible=%d iconic=%d topmost=%d x=%ld y=%ld w=%ld h=%ld screen_w=%d screen_h=%d pid=%lu\n",
           IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0, (ex_style & WS_EX_TOPMOST) ? 1 : 0, rect.left,
           rect.top, rect.right - rect.left, rect.bottom - rect.top, GetSystemMetrics(SM_CXSCREEN),
           GetSystemMetrics(SM_CYSCREEN), pid);
    return 0;
}

// Changing nothing about an icon succeeds only when the shell holds it.
static int print_tray_icon(HWND window)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    printf("%d\n", Shell_NotifyIconA(NIM_MODIFY, &data) ? 1 : 0);
    return 0;
}

static BOOL CALLBACK count_menu(HWND window, LPARAM param)
{
    char name[64];
    if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) && strcmp(name, "#32768") == 0)
        ++*(int *)param;
    return TRUE;
}

static BOOL CALLBACK print_dialog(HWND window, LPARAM)
{
    char name[64], caption[256] = "";
    if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) && strcmp(name, "#32770") == 0) {
        GetWindowTextA(window, caption, sizeof caption);
        printf("%s\n", caption);
    }
    return TRUE;
}

// A message sent to the window waits for its thread: the time it takes is how long the program
// keeps its user waiting.
static int ping(HWND window, int timeout_ms)
{
    DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, (UINT)timeout_ms, &result))
        return 1;
    printf("%lu\n", GetTickCount() - start);
    return 0;
}

// Milliseconds since some fixed point, to the microsecond.
static double now_ms()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

// Sends a message and waits at most timeout_ms for the answer; the time taken goes to *elapsed_ms.
static bool ask(HWND window, UINT message, int timeout_ms, DWORD_PTR *answer, double *elapsed_ms)
{
    double start = now_ms();
    LRESULT sent = SendMessageTimeoutA(window, message, 0, 0, SMTO_NORMAL, (UINT)timeout_ms, answer);
    *elapsed_ms = now_ms() - start;
    return sent != 0;
}

// The handle figure of the process in the system's process list, -1 when it is not listed.
// Wine gives the size of the process's handle table there, which grows in steps.
static long listed_handle_count(DWORD pid)
{
    typedef NTSTATUS(WINAPI * QuerySystem)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    QuerySystem query = (QuerySystem)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    ULONG size = 1 << 20;
    char *buffer = (char *)malloc(size);
    long count = -1;
    if (query && buffer && query(SystemProcessInformation, buffer, size, &size) == 0) {
        for (char *entry = buffer;; ) {
            SYSTEM_PROCESS_INFORMATION *process = (SYSTEM_PROCESS_INFORMATION *)entry;
            if ((DWORD)(ULONG_PTR)process->UniqueProcessId == pid)
                count = (long)process->HandleCount;
            if (!process->NextEntryOffset)
                break;
            entry += process->NextEntryOffset;
        }
    }
    free(buffer);
    return count;
}

// Open handles of another process, counted by duplicating each handle value up to 4 * slots:
// only a value that names an open handle can be duplicated. Wine's values start above 0x80,
// so the caller gives the table size with room to spare.
static long probed_handle_count(HANDLE process, long slots)
{
    long count = 0;
    for (long index = 1; index <= slots; index++) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, (HANDLE)(ULONG_PTR)(index * 4), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            count++;
            CloseHandle(copy);
        }
    }
    return count;
}

// One line of figures; exit 1 when the window gave no answer within a second.
static int print_measures(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    long reported = -1, probed = -1, gui_gdi = -1, gui_user = -1;
    long table = listed_handle_count(pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_DUP_HANDLE, FALSE, pid);
    if (process) {
        DWORD count = 0;
        if (GetProcessHandleCount(process, &count))
            reported = (long)count;
        probed = probed_handle_count(process, (table > 0 ? table : 0) + 1024);
        SetLastError(0);
        DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
        if (gdi || GetLastError() == 0)
            gui_gdi = (long)gdi;
        SetLastError(0);
        DWORD user = GetGuiResources(process, GR_USEROBJECTS);
        if (user || GetLastError() == 0)
            gui_user = (long)user;
        CloseHandle(process);
    }
    DWORD_PTR answer = 0;
    double elapsed = 0;
    // The name and the layout of the answer are the program's own (log/resource_counts.h).
    bool answered = ask(window, RegisterWindowMessageA("Kestrix.ResourceCounts"), 1000, &answer, &elapsed);
    unsigned long long packed = answered ? (unsigned long long)answer : 0;
    bool marked = (packed >> 48) == 0x4B58;
    printf("pid=%lu handles=%ld handle_count_call=%ld listed_handles=%ld gui_gdi=%ld gui_user=%ld gdi=%d gdiplus=%d "
           "user=%d answer_ms=%.1f\n",
           pid, probed, reported, table, gui_gdi, gui_user, marked ? (int)(packed & 0xFFFF) : -1,
           marked ? (int)((packed >> 16) & 0xFFFF) : -1, marked ? (int)((packed >> 32) & 0xFFFF) : -1, elapsed);
    return answered && elapsed < 1000 ? 0 : 1;
}

// Asks the window with WM_NULL for duration_ms, one question every step_ms.
static int print_answers(HWND window, int duration_ms, int step_ms)
{
    int asked = 0, unanswered = 0;
    double slowest = 0;
    for (double start = now_ms(); now_ms() - start < duration_ms; Sleep(step_ms)) {
        DWORD_PTR answer = 0;
        double elapsed = 0;
        asked++;
        if (!ask(window, WM_NULL, 5000, &answer, &elapsed))
            unanswered++;
        if (elapsed > slowest)
            slowest = elapsed;
    }
    printf("asked=%d unanswered=%d slowest_ms=%.1f\n", asked, unanswered, slowest);
    return unanswered ? 1 : 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "dialogs") == 0) {
        EnumWindows(print_dialog, 0);
        return 0;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: kxdriver <command> <title> ...\n");
        return 2;
    }
    const char *command = argv[1];
    const char *title = argv[2];
    int timeout = argc > 3 ? atoi(argv[3]) : 10000;

    if (strcmp(command, "find") == 0)
        return wait_window(title, timeout) ? 0 : 1;
    if (strcmp(command, "gone") == 0) {
        for (int waited = 0; waited < timeout; waited += 50) {
            if (!find_windows(title).first)
                return 0;
            Sleep(50);
        }
        return 1;
    }
    if (strcmp(command, "box") == 0)
        return read_and_close_box(title, timeout);
    if (strcmp(command, "process") == 0) {
        for (int waited = 0; waited <= timeout; waited += 50) {
            if (process_runs(title))
                return 0;
            Sleep(50);
        }
        return 1;
    }
    if (strcmp(command, "balloon") == 0)
        return print_balloon(argc > 2 ? atoi(argv[2]) : 5000);
    if (strcmp(command, "count") == 0) {
        printf("%d\n", find_windows(title).count);
        return 0;
    }

    HWND window = wait_window(title, 5000);
    if (!window) {
        fprintf(stderr, "kxdriver: no window \"%s\"\n", title);
        return 1;
    }
    if (strcmp(command, "state") == 0)
        return print_state(window);
    if (strcmp(command, "post") == 0 && argc > 3) {
        WPARAM wparam = argc > 4 ? (WPARAM)strtoull(argv[4], nullptr, 0) : 0;
        LPARAM lparam = argc > 5 ? (LPARAM)strtoll(argv[5], nullptr, 0) : 0;
        return PostMessageA(window, message_number(argv[3]), wparam, lparam) ? 0 : 1;
    }
    if (strcmp(command, "rows") == 0 && argc > 3) {
        ListSearch lists = find_lists(window);
        int index = atoi(argv[3]);
        return index < lists.count ? print_rows(lists.lists[index]) : 1;
    }
    if (strcmp(command, "visible-list") == 0) {
        ListSearch lists = find_lists(window);
        int visible = -1;
        for (int i = 0; i < lists.count; i++)
            if (IsWindowVisible(lists.lists[i]) && visible < 0)
                visible = i;
        printf("%d\n", visible);
        return 0;
    }
    if (strcmp(command, "tray") == 0)
        return print_tray_icon(window);
    if (strcmp(command, "menus") == 0) {
        int menus = 0;
        EnumWindows(count_menu, (LPARAM)&menus);
        printf("%d\n", menus);
        return 0;
    }
    if (strcmp(command, "ping") == 0)
        return ping(window, timeout);
    if (strcmp(command, "post-registered") == 0 && argc > 3)
        return PostMessageA(window, RegisterWindowMessageA(argv[3]), 0, 0) ? 0 : 1;
    if (strcmp(command, "measure") == 0)
        return print_measures(window);
    if (strcmp(command, "answers") == 0 && argc > 3)
        return print_answers(window, atoi(argv[3]), argc > 4 ? atoi(argv[4]) : 200);
    if (strcmp(command, "client-origin") == 0) {
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        printf("%ld %ld\n", origin.x, origin.y);
        return 0;
    }
    if (strcmp(command, "minimize") == 0) {
        ShowWindow(window, SW_MINIMIZE);
        return 0;
    }
    if (strcmp(command, "restore") == 0) {
        ShowWindow(window, SW_RESTORE);
        return 0;
    }
    fprintf(stderr, "kxdriver: unknown command %s\n", command);
    return 2;
}
