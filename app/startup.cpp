// Program entry, AppState and the data folder.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <gdiplus.h>
#include <sddl.h>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "drives/autorun_policy.h"
#include "kx_product.h"
#include "log/settings_file.h"
#include "repair/registry_values.h"

AppState app;

static const char MUTEX_NAME[] = "tv_kestrix_exe";
static const char WINDOW_CLASS[] = "myWndClass";

static const ClickRegion INITIAL_REGIONS[CLICK_REGION_COUNT] = {
    {1, {4, 4, 75, 65}, {4, 205, 75, 266}},
    {2, {85, 4, 180, 65}, {85, 205, 180, 266}},
    {3, {305, 4, 384, 65}, {305, 205, 384, 266}},
    {4, {386, 2, 468, 65}, {386, 203, 468, 266}},
    {5, {469, 2, 497, 69}, {469, 203, 497, 270}},
    {11, {}, {14, 273, 40, 292}},
    {12, {}, {48, 273, 112, 292}},
    {13, {}, {114, 273, 162, 292}},
    {14, {}, {164, 273, 225, 292}},
    {15, {}, {227, 273, 292, 292}},
    {16, {}, {294, 273, 357, 292}},
    {17, {}, {359, 273, 414, 292}},
    {18, {}, {416, 273, 460, 292}},
    {19, {}, {462, 273, 490, 292}},
};

int path_exists(char *path)
{
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] == '\n')
        path[length - 1] = '\0';
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static int exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int make_directories(const char *path, SECURITY_ATTRIBUTES *security)
{
    char current[TEXT_SIZE];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        return 0;

    char full[TEXT_SIZE];
    int fits = strchr(path, ':') ? text_copy(full, path) : text_format(full, "%s\\%s", current, path);
    if (!fits)
        return 0;
    if (exists(full))
        return 2;

    // Create each missing level; stop at the first one that cannot be made.
    char reached[TEXT_SIZE];
    text_copy(reached, full);
    for (size_t i = 4; full[i]; i++) {
        if (full[i] != '\\' && full[i] != '/')
            continue;
        char level[TEXT_SIZE];
        text_copy_prefix_n(level, sizeof level, full, i);
        if (!exists(level) && !CreateDirectoryA(level, security)) {
            text_copy(reached, level);
            break;
        }
    }
    return exists(reached) || CreateDirectoryA(reached, security);
}

// What the data folder's levels are created with: administrators and SYSTEM may change
// them, users may only read, so no user can put a link where the program writes.
static const WCHAR DATA_FOLDER_ACCESS[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Runs make(security) with the data folder's access; the descriptor is freed after.
static int with_data_folder_access(int (*make)(const char *, SECURITY_ATTRIBUTES *), const char *path)
{
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(DATA_FOLDER_ACCESS, SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, nullptr))
        return 0;
    int made = make(path, &security);
    LocalFree(security.lpSecurityDescriptor);
    return made;
}

static int make_one_directory(const char *path, SECURITY_ATTRIBUTES *security)
{
    return exists(path) || CreateDirectoryA(path, security);
}

int data_folder_path(char *out, size_t out_size)
{
    // Room for any real user name: a long one still gives its folder, never a cut one.
    char user[TEXT_SIZE];
    DWORD length = GetEnvironmentVariableA("USERNAME", user, sizeof user);
    if (length == 0 || length >= sizeof user)
        return 0;
    char folder[8];
    user_folder_name(user, folder, sizeof folder);

    char drive[32];
    length = GetEnvironmentVariableA("SystemDrive", drive, sizeof drive);
    if (length == 0 || length >= sizeof drive)
        text_copy(drive, "C:");

    if (!text_format_n(out, out_size, "%s\\ProgramData\\TarvelSoft\\%s", drive, folder))
        return 0;
    if (exists(out))
        return 1;
    return with_data_folder_access(make_directories, out) != 0;
}

int read_file_version(const char *path, char *out, size_t out_size)
{
    if (!exists(path))
        return 0;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return 0;
    void *block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (!block)
        return 0;
    int ok = GetFileVersionInfoA(path, 0, size, block);
    if (ok) {
        char *text = nullptr;
        UINT text_length = 0;
        if (VerQueryValueA(block, "\\StringFileInfo\\041904b0\\FileVersion", (void **)&text, &text_length) && text)
            text_copy_n(out, out_size, text);
    }
    HeapFree(GetProcessHeap(), 0, block);
    return ok ? 1 : 0;
}

void center_window(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    MoveWindow(window, x, y, width, height, TRUE);
}

void activate_running_instance(const char *title)
{
    HWND window = FindWindowA(nullptr, title);
    if (window && IsIconic(window))
        OpenIcon(window);
}

static int read_desktop_dir()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    char value[TEXT_SIZE + 1] = {};
    DWORD size = TEXT_SIZE;
    LONG status = RegQueryValueExA(key, "DeskTop", nullptr, nullptr, (BYTE *)value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && text_copy(app.desktop_dir, value);
}

void detect_xp()
{
    char product[TEXT_SIZE] = "XP";
    read_registry_value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName", product,
                        sizeof product, REG_KIND_TEXT);
    app.is_xp = strstr(product, "XP") != nullptr;
}

static int make_data_dir()
{
    if (!data_folder_path(app.scratch, sizeof app.scratch))
        return 0;
    if (!text_format(app.data_dir, "%s\\Kestrix", app.scratch))
        return 0;
    if (!with_data_folder_access(make_one_directory, app.data_dir))
        return 0;
    return text_format(app.log_path, "%s\\KX_Log.txt", app.data_dir) &&
           text_format(app.settings_path, "%s\\kx.vars", app.data_dir);
}

// The program's own file, from the loader rather than the command line, which its
// starter chooses. Left empty when code page 1251 cannot spell it or it does not fit:
// the copy options then have nothing to copy.
static void read_exe_path()
{
    app.exe_path[0] = '\0';
    WCHAR module[TEXT_SIZE];
    DWORD length = GetModuleFileNameW(nullptr, module, TEXT_SIZE);
    if (length == 0 || length >= TEXT_SIZE)
        return;
    BOOL unspellable = FALSE;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, module, -1, app.exe_path, sizeof app.exe_path, nullptr,
                             &unspellable) ||
        unspellable)
        app.exe_path[0] = '\0';
}

void detect_emergency_start()
{
    char marker[] = "kx_start.txt";
    if (path_exists(marker))
        app.emergency_start = 1;
    if (strstr(app.command_line, " -start"))
        app.emergency_start = 1;
}

static void reset_counters()
{
    int emergency = app.emergency_start;  // set at program load, not here
    app.is_xp = app.autorun_blocked = app.signal_on = 0;
    app.busy = app.manual_scan = app.logoff_state = 0;
    app.tick_phase = app.cycle_phase = app.first_ticks = app.hover_region = 0;
    app.pointer_x = app.pointer_y = app.event_list_filled = 0;
    app.menu_point = POINT{0, 0};
    app.kill_guard = app.process_count = app.drive_count = 0;
    app.autoruns_found = app.autoruns_deleted = app.reinfection_count = app.file_list_counter = 0;
    app.monitoring = app.monitoring_saved = 1;
    app.shown_region = app.previous_process_count = 100;
    app.emergency_start = emergency;
}

int init_app_state()
{
    reset_counters();
    app.autorun_blocked = autorun_policy("get");
    app.signal_on = 1;

    app.flash_root[0] = app.last_removable_root[0] = app.removable_letters[0] = '\0';
    app.scratch[0] = app.file_row_address[0] = app.system_dir[0] = app.emergency_disk_dir[0] = '\0';
    text_copy(app.hint_text, KX_WINDOW_TITLE ": " KX_WEB_DOMAIN);

    UINT length = GetSystemDirectoryA(app.system_dir, sizeof app.system_dir);
    if (length == 0 || length >= sizeof app.system_dir)
        return 0;
    if (!read_desktop_dir())
        return 0;
    detect_xp();
    // A command line longer than the copy is cut; the program path comes first, so it survives.
    text_copy(app.command_line, GetCommandLineA());
    if (!make_data_dir())
        return 0;
    detect_emergency_start();

    read_exe_path();

    text_copy(app.settings, "000000");
    load_settings("get");

    if (!text_format(app.userinit_default, "%s\\userinit.exe,", app.system_dir))
        return 0;

    memcpy(app.regions, INITIAL_REGIONS, sizeof app.regions);
    app.hover_rect = RECT{0, 0, 1, 1};
    for (auto &event : app.events)
        event[0] = '\0';

    app.program_version[0] = '\0';
    read_file_version(app.exe_path, app.program_version, sizeof app.program_version);
    return 1;
}

static int register_window_class(HINSTANCE instance)
{
    app.instance = instance;
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = main_window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KESTRIX));
    window_class.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    window_class.hbrBackground = CreateSolidBrush(RGB(255, 255, 0));  // never shown: erasing is skipped
    window_class.lpszClassName = WINDOW_CLASS;
    return RegisterClassA(&window_class) != 0;
}

int run_program(HINSTANCE instance, int show_command)
{
    // A card reader with no medium must never raise a "no disk" dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    HANDLE other = OpenMutexA(MUTEX_ALL_ACCESS, TRUE, MUTEX_NAME);
    if (other) {
        activate_running_instance(KX_WINDOW_TITLE);
        return 0;
    }
    CreateMutexA(nullptr, TRUE, MUTEX_NAME);  // held until the process ends

    if (!init_app_state())
        return 0;
    // Start-up has read what lies beside the program (the emergency-start marker); from
    // here on nothing is looked up in a folder a user may fill.
    SetCurrentDirectoryA(app.system_dir);
    if (!register_window_class(instance))
        return 0;

    Gdiplus::GdiplusStartupInput gdiplus_input;
    Gdiplus::GdiplusStartup(&app.gdiplus_token, &gdiplus_input, nullptr);

    app.main_window = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_TOPMOST, WINDOW_CLASS, KX_WINDOW_TITLE,
                                      WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                      500, 330, nullptr, nullptr, instance, nullptr);
    if (!app.main_window)
        return 0;
    center_window(app.main_window);
    UpdateWindow(app.main_window);
    ShowWindow(app.main_window, show_command);
    SetTimer(app.main_window, TIMER_INTERFACE, 100, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return (int)message.wParam;
}
