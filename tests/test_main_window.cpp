// The window procedure on a real main window: creation, timers sent as messages,
// commands, hot keys and pointer rules. Outward calls go through the seams.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "test_support.h"
#include "unix_links.h"

static std::vector<std::string> calls;  // what the seams were asked to do

static int WINAPI record_box(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    calls.push_back(std::string("box:") + caption + "|" + text);
    return IDOK;
}
// The system and Windows directories written as %sys% and %win%, so cases read short.
static std::string with_folder_names(std::string text)
{
    char sys[MAX_PATH], win[MAX_PATH];
    GetSystemDirectoryA(sys, sizeof sys);
    GetSystemWindowsDirectoryA(win, sizeof win);
    for (auto [folder, name] : {std::pair<std::string, std::string>{sys, "%sys%"}, {win, "%win%"}})
        for (size_t at; (at = text.find(folder)) != std::string::npos;)
            text.replace(at, folder.size(), name);
    return text;
}
static BOOL WINAPI record_create_process(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES,
                                         LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR directory, LPSTARTUPINFOA,
                                         LPPROCESS_INFORMATION)
{
    calls.push_back("exec:" + with_folder_names(std::string(application) + "|" + command_line + "|" + directory));
    return FALSE;  // nothing starts
}
static HINSTANCE WINAPI record_shell(HWND, LPCSTR verb, LPCSTR target, LPCSTR, LPCSTR, INT)
{
    calls.push_back(std::string("shell:") + (verb ? verb : "") + "|" + target);
    return (HINSTANCE)33;
}
static BOOL WINAPI record_menu(HMENU, UINT, int, int, int, HWND, const RECT *)
{
    calls.push_back("menu");
    return TRUE;
}
static BOOL WINAPI refuse_termination(HANDLE, UINT)
{
    return FALSE;  // this test terminates nothing
}
static BOOL WINAPI record_exit_windows(UINT flags, DWORD reason)
{
    calls.push_back("exit:" + std::to_string(flags) + "|" + std::to_string(reason));
    return FALSE;
}
static BOOL WINAPI silent_sound(LPCSTR, HMODULE, DWORD) { return TRUE; }

static int count_calls(const std::string &prefix)
{
    int count = 0;
    for (const std::string &call : calls)
        count += call.compare(0, prefix.size(), prefix) == 0;
    return count;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        seam_message_box = record_box;
        seam_create_process = record_create_process;
        seam_shell_execute = record_shell;
        seam_track_popup_menu = record_menu;
        seam_terminate_process = refuse_termination;
        seam_exit_windows_ex = record_exit_windows;
        seam_play_sound = silent_sound;
        ASSERT_EQ(init_app_state(), 1);
        // Settings and log of these windows stay in a folder of their own.
        scratch_ = make_scratch_dir("window");
        text_copy(app.settings_path, (scratch_ + "\\kx.vars").c_str());
        text_copy(app.log_path, (scratch_ + "\\KX_Log.txt").c_str());
        app.instance = GetModuleHandleA(nullptr);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = main_window_procedure;
        window_class.hInstance = app.instance;
        window_class.lpszClassName = "myWndClass";
        RegisterClassA(&window_class);
    }
    void TearDown() override
    {
        if (window_)
            DestroyWindow(window_);
        reset_seams();
        remove_tree(scratch_);
    }
    // The real window; its own timers are stopped so that the test sends every tick itself.
    void create(int emergency = 0)
    {
        app.emergency_start = emergency;
        window_ = CreateWindowExA(WS_EX_APPWINDOW, "myWndClass", "Kestrix 4.3 test",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 500, 330, nullptr,
                                  nullptr, app.instance, nullptr);
        ASSERT_NE(window_, nullptr);
        ShowWindow(window_, SW_SHOW);
        interface_started_ = KillTimer(window_, TIMER_INTERFACE);
        first_look_started_ = KillTimer(window_, TIMER_FIRST_LOOK);
        stop_virus_started_ = KillTimer(window_, TIMER_STOP_VIRUS);
        cycle_started_ = KillTimer(window_, TIMER_WATCH_CYCLE);
    }
    void tick(UINT id) { SendMessageA(window_, WM_TIMER, id, 0); }
    // Whether a one-shot timer is still armed (and disarms it).
    bool armed(UINT id) { return KillTimer(window_, id) != 0; }
    static int column_count(HWND list)
    {
        HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
        return (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    }
    HWND window_ = nullptr;
    std::string scratch_;
    BOOL interface_started_ = FALSE, first_look_started_ = FALSE, stop_virus_started_ = FALSE, cycle_started_ = FALSE;
};

TEST_F(MainWindowTest, CreationMakesListsHotKeysMenuAndTimers)
{
    create();
    EXPECT_EQ(column_count(app.file_list), 4);
    EXPECT_EQ(column_count(app.process_list), 5);
    EXPECT_EQ(column_count(app.event_list), 2);
    char title[64] = "";
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = sizeof title;
    SendMessageA(app.process_list, LVM_GETCOLUMNA, 4, (LPARAM)&column);
    EXPECT_STREQ(title, "ID родителя");
    EXPECT_NE(app.popup_menu, nullptr);
    EXPECT_NE(strstr(app.events[0], "Запуск программы Kestrix."), nullptr);
    EXPECT_TRUE(first_look_started_);
    EXPECT_FALSE(stop_virus_started_);
    EXPECT_TRUE(cycle_started_);
    for (int id = 811; id <= 819; id++)
        EXPECT_TRUE(UnregisterHotKey(window_, id)) << id;
}

TEST_F(MainWindowTest, EmergencyStartRunsStopVirusInsteadOfTheFirstLook)
{
    create(1);
    EXPECT_FALSE(first_look_started_);
    EXPECT_TRUE(stop_virus_started_);
    EXPECT_EQ(app.emergency_start, 0);
    EXPECT_EQ(app.logoff_state, 0);
    tick(TIMER_STOP_VIRUS);
    EXPECT_EQ(app.logoff_state, 1);
    EXPECT_EQ(count_calls("exit:"), 0);
}

TEST_F(MainWindowTest, WatchCycleLooksAtDrivesOnTickTwoAndProcessesOnTickFour)
{
    create();
    app.process_count = 0;
    int phases[4];
    for (int i = 0; i < 4; i++) {
        app.events[0][0] = '\0';
        tick(TIMER_WATCH_CYCLE);
        phases[i] = app.cycle_phase;
        if (i == 1)
            EXPECT_NE(strstr(app.events[0], "Файлы autorun.* не найдены. Чисто."), nullptr);
        else
            EXPECT_STREQ(app.events[0], "") << "tick " << i + 1;
    }
    EXPECT_EQ(phases[0], 0);
    EXPECT_EQ(phases[1], 1);
    EXPECT_EQ(phases[2], 0);
    EXPECT_EQ(phases[3], 2);
    EXPECT_GT(app.process_count, 0);
    EXPECT_EQ(app.first_ticks, 4);

    // Busy or switched off: only the first ticks are counted.
    app.busy = 1;
    tick(TIMER_WATCH_CYCLE);
    EXPECT_EQ(app.tick_phase, 0);
    app.busy = 0;
    app.monitoring = 0;
    tick(TIMER_WATCH_CYCLE);
    EXPECT_EQ(app.tick_phase, 0);
    EXPECT_EQ(app.first_ticks, 6);
}

TEST_F(MainWindowTest, OneShotTimersWaitWhileBusy)
{
    create();
    for (UINT id : {TIMER_FIRST_LOOK, TIMER_MANUAL_CHECK, TIMER_STOP_VIRUS}) {
        SetTimer(window_, id, 100000, nullptr);
        app.busy = 1;
        tick(id);
        EXPECT_TRUE(armed(id)) << id;  // still armed: it fires again
        SetTimer(window_, id, 100000, nullptr);
        app.busy = 0;
        tick(id);
        EXPECT_FALSE(armed(id)) << id;
        EXPECT_EQ(app.busy, 0) << id;
    }
}

TEST_F(MainWindowTest, ManualCheckRepairsWithTheBoxAndRestoresMonitoring)
{
    create();
    app.monitoring = 1;
    tick(TIMER_MANUAL_CHECK);
    EXPECT_EQ(count_calls("box:Результат|Чистка реестра завершена."), 1);
    EXPECT_EQ(app.monitoring, 1);
    EXPECT_EQ(app.manual_scan, 0);
    EXPECT_EQ(app.busy, 0);
}

TEST_F(MainWindowTest, StopVirusEscalatesToLogoffAndGuardTimerLeavesBusy)
{
    create();
    app.logoff_state = 2;
    tick(TIMER_STOP_VIRUS);
    ASSERT_EQ(count_calls("exit:"), 1);
    EXPECT_EQ(calls.back(), "exit:0|4294967295");
    EXPECT_TRUE(armed(TIMER_KILL_GUARD));

    app.kill_guard = 1;
    app.busy = 1;  // another long handler is inside its message box
    SetTimer(window_, TIMER_KILL_GUARD, 100000, nullptr);
    tick(TIMER_KILL_GUARD);
    EXPECT_EQ(app.kill_guard, 0);
    EXPECT_EQ(app.busy, 1);
    EXPECT_FALSE(armed(TIMER_KILL_GUARD));
    app.busy = 0;
}

TEST_F(MainWindowTest, CommandsAndHotKeysReachTheirOperations)
{
    create();
    struct Case {
        UINT message;
        WPARAM id;
        const char *call;
    } cases[] = {
        {WM_COMMAND, 31, R"(exec:%sys%\mmc.exe|"%sys%\mmc.exe" "%sys%\services.msc"|%sys%)"},
        {WM_COMMAND, 32, R"(exec:%win%\regedit.exe|"%win%\regedit.exe"|%sys%)"},
        {WM_COMMAND, 33, R"(exec:%sys%\mmc.exe|"%sys%\mmc.exe" "%sys%\lusrmgr.msc"|%sys%)"},
        {WM_COMMAND, 34, R"(exec:%sys%\rstrui.exe|"%sys%\rstrui.exe"|%sys%)"},
        {WM_COMMAND, 35, R"(exec:%sys%\taskmgr.exe|"%sys%\taskmgr.exe"|%sys%)"},
        {WM_COMMAND, 36, R"(exec:%sys%\cmd.exe|"%sys%\cmd.exe"|%sys%)"},
        {WM_COMMAND, 45,
         R"(exec:%sys%\rundll32.exe|"%sys%\rundll32.exe" shell32.dll,Control_RunDLL hotplug.dll|%sys%)"},
        {WM_COMMAND, 13, R"(exec:%sys%\shutdown.exe|"%sys%\shutdown.exe" -r -t 0|%sys%)"},
        {WM_COMMAND, 14, R"(exec:%sys%\shutdown.exe|"%sys%\shutdown.exe" -s -t 0|%sys%)"},
        {WM_HOTKEY, 816, R"(exec:%sys%\mmc.exe|"%sys%\mmc.exe" "%sys%\diskmgmt.msc"|%sys%)"},
        {WM_HOTKEY, 817,
         R"(exec:%sys%\rundll32.exe|"%sys%\rundll32.exe" shell32.dll,Control_RunDLL hotplug.dll|%sys%)"},
        {WM_HOTKEY, 814, R"(exec:%sys%\shutdown.exe|"%sys%\shutdown.exe" -r -t 0|%sys%)"},
        {WM_HOTKEY, 815, R"(exec:%sys%\shutdown.exe|"%sys%\shutdown.exe" -s -t 0|%sys%)"},
        {WM_COMMAND, 43, "box:Результат|Вставьте флешку и повторите попытку...   "},
        {WM_HOTKEY, 819, "box:Результат|Вставьте флешку и повторите попытку...   "},
    };
    app.is_xp = 0;
    app.flash_root[0] = app.last_removable_root[0] = '\0';
    for (const Case &c : cases) {
        calls.clear();
        SendMessageA(window_, c.message, c.id, 0);
        ASSERT_FALSE(calls.empty()) << c.id;
        EXPECT_EQ(calls[0], c.call) << c.id;
    }
    strcpy(app.last_removable_root, "G:\\");
    calls.clear();
    SendMessageA(window_, WM_COMMAND, 43, 0);
    EXPECT_EQ(calls, std::vector<std::string>{"shell:Open|G:\\"});
    strcpy(app.flash_root, "E:\\");
    calls.clear();
    SendMessageA(window_, WM_HOTKEY, 819, 0);
    EXPECT_EQ(calls, std::vector<std::string>{"shell:Open|E:\\"});

    SendMessageA(window_, WM_HOTKEY, 813, 0);
    EXPECT_TRUE(armed(TIMER_STOP_VIRUS));
    SendMessageA(window_, WM_COMMAND, 11, 0);
    EXPECT_TRUE(armed(TIMER_STOP_VIRUS));
    calls.clear();
    SendMessageA(window_, WM_COMMAND, 99, 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(MainWindowTest, ToggleCommandsFlipTheirOptionMarkAndReopenTheMenu)
{
    create();
    app.settings[SETTING_COPY_PROGRAM] = '0';
    calls.clear();
    SendMessageA(window_, WM_COMMAND, 22, 0);
    EXPECT_EQ(app.settings[SETTING_COPY_PROGRAM], '1');
    EXPECT_TRUE(GetMenuState(app.popup_menu, 22, MF_BYCOMMAND) & MF_CHECKED);
    SendMessageA(window_, WM_COMMAND, 22, 0);
    EXPECT_EQ(app.settings[SETTING_COPY_PROGRAM], '0');
    EXPECT_FALSE(GetMenuState(app.popup_menu, 22, MF_BYCOMMAND) & MF_CHECKED);

    app.signal_on = 1;
    SendMessageA(window_, WM_COMMAND, 25, 0);
    EXPECT_EQ(app.signal_on, 0);
    EXPECT_FALSE(GetMenuState(app.popup_menu, 25, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(count_calls("menu"), 3);  // reopened after every toggle
}

TEST_F(MainWindowTest, PointerChoosesTheVisibleListAndIsUsedOnce)
{
    create();
    SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(330, 230));  // region 3
    tick(TIMER_INTERFACE);
    EXPECT_EQ(app.hover_region, 3);
    EXPECT_EQ(app.pointer_x, 0);  // every timer message consumes the position
    EXPECT_TRUE(IsWindowVisible(app.file_list));
    EXPECT_FALSE(IsWindowVisible(app.process_list));
    tick(TIMER_INTERFACE);
    EXPECT_EQ(app.hover_region, 3);  // 0, 0 keeps the last result

    SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(420, 230));  // region 4
    tick(TIMER_INTERFACE);
    EXPECT_TRUE(IsWindowVisible(app.process_list));
    EXPECT_FALSE(IsWindowVisible(app.file_list));

    SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(200, 100));  // over the lists: no region
    app.autoruns_found = 1;
    tick(TIMER_INTERFACE);
    EXPECT_TRUE(IsWindowVisible(app.event_list));
    EXPECT_FALSE(IsWindowVisible(app.process_list));
    app.autoruns_found = 0;

    // A click acts on the region of the last tick, and not while busy.
    SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(330, 230));
    tick(TIMER_INTERFACE);
    app.busy = 1;
    SendMessageA(window_, WM_LBUTTONUP, 0, 0);
    EXPECT_FALSE(armed(TIMER_MANUAL_CHECK));
    app.busy = 0;
    SendMessageA(window_, WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(armed(TIMER_MANUAL_CHECK));
}

TEST_F(MainWindowTest, MinimiseHidesToTheTrayAndDestroySavesState)
{
    create();
    EXPECT_TRUE(interface_started_) << "a window on the screen has its interface tick";
    SetTimer(window_, TIMER_INTERFACE, 100, nullptr);
    SendMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_TRUE(IsIconic(window_));
    EXPECT_FALSE(armed(TIMER_INTERFACE)) << "no interface tick while in the tray";
    SendMessageA(window_, WM_COMMAND, CMD_OPEN, 0);
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_TRUE(armed(TIMER_INTERFACE)) << "shown again, it ticks again";
    SendMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);

    DeleteFileA(app.settings_path);
    DeleteFileA(app.log_path);
    strcpy(app.settings, "010000");
    DestroyWindow(window_);
    window_ = nullptr;
    EXPECT_EQ(read_file_bytes(app.settings_path), "010000");
    EXPECT_NE(read_file_bytes(app.log_path).find("Запуск программы Kestrix."), std::string::npos);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// A message box as the real one behaves: while it is up, its own loop dispatches whatever
// reaches the thread. The user meanwhile right-clicks the tray icon with a flash drive known
// (which relabels a menu item), presses the restart hot key and picks "Выход" from the menu.
static HWND box_owner_window;
static int WINAPI box_with_requests_inside(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    calls.push_back(std::string("box:") + caption + "|" + text);
    strcpy(app.flash_root, "E:\\");
    PostMessageA(box_owner_window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN);
    PostMessageA(box_owner_window, WM_HOTKEY, HOTKEY_FIRST + 3, 0);  // Ctrl+Alt+Right: restart
    PostMessageA(box_owner_window, WM_COMMAND, CMD_EXIT, 0);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    calls.push_back("box closed");
    return IDOK;
}

TEST_F(MainWindowTest, RequestsMadeInsideTheManualChecksBoxWaitUntilItEnds)
{
    create();
    box_owner_window = window_;
    seam_message_box = box_with_requests_inside;
    app.monitoring = 1;
    tick(TIMER_MANUAL_CHECK);
    ASSERT_EQ(count_calls("box:Результат|Чистка реестра завершена."), 1);
    EXPECT_TRUE(IsWindow(window_)) << "the close took effect inside the box";
    EXPECT_EQ(count_calls("exec:"), 0) << "the restart ran inside the box";
    // The check's summary is what it logged, whatever the tray menu wrote meanwhile.
    EXPECT_NE(strstr(app.events[0], "Файлы autorun.* не найдены. Чисто."), nullptr) << app.events[0];
    EXPECT_EQ(app.busy, 0);

    // Then the restart and the close run, once each, and the log saved at the close holds the summary.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    EXPECT_EQ(count_calls(R"(exec:%sys%\shutdown.exe|"%sys%\shutdown.exe" -r -t 0|)"), 1);
    EXPECT_FALSE(IsWindow(window_));
    window_ = nullptr;
    EXPECT_NE(read_file_bytes(app.log_path).find("Файлы autorun.* не найдены. Чисто."), std::string::npos);
}

TEST_F(MainWindowTest, AutorunPolicyCommandStoresTheRemovableBitAndMarksOnlyWhatWasStored)
{
    static const char POLICY_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    auto stored = []() -> long {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueA(HKEY_CURRENT_USER, POLICY_KEY, "NoDriveTypeAutoRun", RRF_RT_REG_DWORD, nullptr, &value,
                         &size) != ERROR_SUCCESS)
            return -1;
        return (long)value;
    };
    auto marked = []() { return (GetMenuState(app.popup_menu, CMD_BLOCK_AUTORUN, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, POLICY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD open_value = 145;
    RegSetValueExA(key, "NoDriveTypeAutoRun", 0, REG_DWORD, (const BYTE *)&open_value, sizeof open_value);
    RegCloseKey(key);
    create();
    app.autorun_blocked = 0;

    SendMessageA(window_, WM_COMMAND, CMD_BLOCK_AUTORUN, 0);
    EXPECT_EQ(app.autorun_blocked, 1);
    EXPECT_EQ(stored(), 149);
    EXPECT_TRUE(marked());
    SendMessageA(window_, WM_COMMAND, CMD_BLOCK_AUTORUN, 0);
    EXPECT_EQ(app.autorun_blocked, 0);
    EXPECT_EQ(stored(), 145);
    EXPECT_FALSE(marked());

    // Without the policy key nothing is stored, so nothing may look blocked.
    RegDeleteTreeA(HKEY_CURRENT_USER, POLICY_KEY);
    SendMessageA(window_, WM_COMMAND, CMD_BLOCK_AUTORUN, 0);
    EXPECT_EQ(app.autorun_blocked, 0);
    EXPECT_FALSE(marked());
    EXPECT_EQ(count_calls("menu"), 3);  // reopened after every choice
    RegCreateKeyExA(HKEY_CURRENT_USER, POLICY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegCloseKey(key);
}

TEST_F(MainWindowTest, AutostartCommandChangesFlagAndMarkOnlyWhenTheShortcutChanged)
{
    wchar_t startup[MAX_PATH] = L"";
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, startup), S_OK);
    const std::wstring link = std::wstring(startup) + L"\\Ярлык для kestrix.exe.LNK";
    auto link_exists = [&]() { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; };
    auto marked = []() { return (GetMenuState(app.popup_menu, CMD_AUTOSTART, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    DeleteFileW(link.c_str());
    create();
    app.settings[SETTING_AUTOSTART] = '0';

    // A target no shortcut can hold: the shortcut is not made, the option stays off.
    text_copy(app.command_line, ("\"C:\\" + std::string(MAX_PATH, 'k') + "\\kestrix.exe\"").c_str());
    SendMessageA(window_, WM_COMMAND, CMD_AUTOSTART, 0);
    EXPECT_EQ(app.settings[SETTING_AUTOSTART], '0');
    EXPECT_FALSE(marked());
    EXPECT_FALSE(link_exists());

    text_copy(app.command_line, "\"C:\\Program Files\\Kestrix\\kestrix.exe\"");
    SendMessageA(window_, WM_COMMAND, CMD_AUTOSTART, 0);
    EXPECT_EQ(app.settings[SETTING_AUTOSTART], '1');
    EXPECT_TRUE(marked());
    EXPECT_TRUE(link_exists());

    // The shortcut went behind the program's back: turning off fails, and the option shows it is still on.
    DeleteFileW(link.c_str());
    SendMessageA(window_, WM_COMMAND, CMD_AUTOSTART, 0);
    EXPECT_EQ(app.settings[SETTING_AUTOSTART], '1');
    EXPECT_TRUE(marked());
    EXPECT_EQ(count_calls("menu"), 3);
    DeleteFileW(link.c_str());  // Wine runs what the Startup folder holds: never leave it there
}

TEST_F(MainWindowTest, AnInfectionFoundAfterTheFirstStopVirusLeadsToLogoffOnTheSecond)
{
    // The system folder of this test is a folder of its own, carrying an autorun file.
    std::string system_dir = make_scratch_dir("system");
    write_file_bytes(system_dir + "\\autorun.inf", "[autorun]\r\nopen=virus.exe\r\n");
    text_copy(app.system_dir, system_dir.c_str());
    create();
    app.monitoring = 1;
    tick(TIMER_STOP_VIRUS);
    EXPECT_EQ(app.logoff_state, 1);
    EXPECT_EQ(count_calls("exit:"), 0);

    // The autorun.inf is now the protection folder; the virus comes back under another name.
    write_file_bytes(system_dir + "\\autorun.exe", "MZ");
    app.tick_phase = 1;
    tick(TIMER_WATCH_CYCLE);  // the drive tick
    EXPECT_EQ(app.logoff_state, 2);
    EXPECT_EQ(count_calls("exit:"), 0);

    tick(TIMER_STOP_VIRUS);
    ASSERT_EQ(count_calls("exit:"), 1);
    EXPECT_EQ(calls.back(), "exit:0|4294967295");
    remove_tree(system_dir);
}

// The watch cycle on a plugged flash drive, one drive pass per four ticks: which passes
// (counted from 1) ended in a termination pass.
class InfectedDriveTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        drive_ = make_scratch_dir("flash");
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        remove_unix_tree(drive_);
    }
    template <typename BeforePass>
    std::vector<int> termination_passes(int passes, BeforePass before_pass)
    {
        std::vector<int> terminated;
        ScopedDrive drive('R', drive_, DRIVE_REMOVABLE);
        EXPECT_TRUE(drive.plugged_);
        for (int pass = 1; pass <= passes; pass++) {
            before_pass();
            app.kill_guard = 0;
            for (int i = 0; i < 4; i++)
                tick(TIMER_WATCH_CYCLE);
            if (app.kill_guard)
                terminated.push_back(pass);
        }
        return terminated;
    }
    std::string drive_;
};

TEST_F(InfectedDriveTest, FileTheSweepLeavesAloneNeverLeadsToATerminationPass)
{
    create();
    std::string outside = make_scratch_dir("outside");
    write_file_bytes(outside + "\\precious.doc", "outside the drive");
    ASSERT_TRUE(make_unix_link(drive_ + "\\autorun.inf", outside + "\\precious.doc"));
    std::vector<int> terminated = termination_passes(6, [] {});
    EXPECT_TRUE(terminated.empty()) << "first termination pass after drive pass " << terminated[0];
    EXPECT_EQ(app.autoruns_found, 1);  // still found, and still there
    EXPECT_EQ(read_file_bytes(outside + "\\precious.doc"), "outside the drive");
    for (const char *event : app.events)
        EXPECT_EQ(strstr(event, "Остановлено процессов"), nullptr) << event;
    remove_tree(outside);
}

TEST_F(InfectedDriveTest, HeldFileLeadsToOneTerminationPassWhileItStaysTheSame)
{
    create();
    std::string file = drive_ + "\\autorun.exe";
    write_file_bytes(file, "virus");
    // Held like a running virus holds it: no sharing of deletion. The termination pass cannot end this test.
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<int> terminated = termination_passes(10, [] {});
    CloseHandle(held);
    EXPECT_EQ(terminated, std::vector<int>{3});
}

TEST_F(InfectedDriveTest, FileThatComesBackAfterEachDeletionLeadsToATerminationPass)
{
    create();
    // autorun.inf becomes the protection folder on the first pass; the virus comes back as autorun.exe.
    std::string file = drive_ + "\\autorun.exe";
    std::vector<int> terminated = termination_passes(5, [&] {
        if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
            write_file_bytes(file, "MZ virus");
    });
    // Deleted on the first pass, back on the second, third and fourth.
    EXPECT_EQ(terminated, std::vector<int>{4});
}
