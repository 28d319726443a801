// The main window procedure: one switch, one handler per message.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "app/app_state.h"
#include "app/ids.h"
#include "app/screen_regions.h"
#include "app/system_commands.h"
#include "app/tray_menu.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "drives/autorun_policy.h"
#include "drives/autostart.h"
#include "drives/emergency_disk.h"
#include "drives/hidden_files.h"
#include "drives/watch_cycle.h"
#include "kx_product.h"
#include "log/connection_signal.h"
#include "log/event_log.h"
#include "log/resource_counts.h"
#include "log/settings_file.h"
#include "log/window_painting.h"
#include "repair/hosts_and_routes.h"
#include "repair/process_termination.h"

enum { SHOW_WINDOW = 2, HIDE_TO_TRAY = 1 };
enum HotKeyId {
    HOTKEY_SHOW = 811,
    HOTKEY_HIDE,
    HOTKEY_STOP_VIRUS,
    HOTKEY_RESTART,
    HOTKEY_SHUT_DOWN,
    HOTKEY_DISK_MANAGEMENT,
    HOTKEY_SAFE_REMOVAL,
    HOTKEY_CLIPBOARD,
    HOTKEY_OPEN_FLASH,
};

// Item records of the three lists, zero-filled: every insertion goes to row 0.
static LVITEMA file_item, event_item;

// A request that ends the program or starts long work, made while a long handler runs (from
// inside its message box, whose loop goes on dispatching): it runs once that handler is done.
struct DeferredRequest {
    UINT message;
    WPARAM id;
};
static DeferredRequest deferred_requests[8];
static int deferred_count;

// True when the request must wait for the running handler; it is kept once, however often asked.
static bool defer_while_busy(UINT message, WPARAM id)
{
    if (!app.busy)
        return false;
    for (int i = 0; i < deferred_count; i++)
        if (deferred_requests[i].message == message && deferred_requests[i].id == id)
            return true;
    if (deferred_count < (int)(sizeof deferred_requests / sizeof deferred_requests[0]))
        deferred_requests[deferred_count++] = {message, id};
    return true;
}

// Ends a long handler; what was asked meanwhile is posted again, in the order it came.
static void end_busy(HWND window)
{
    app.busy = 0;
    for (int i = 0; i < deferred_count; i++)
        PostMessageA(window, deferred_requests[i].message, deferred_requests[i].id, 0);
    deferred_count = 0;
}

// Commands that end the program or the session, or start long work with a box of its own.
static bool waits_for_busy_command(WPARAM id)
{
    return id == CMD_RESTART || id == CMD_SHUT_DOWN || id == CMD_EMERGENCY_DISK || id == CMD_RESET_HOSTS ||
           id == CMD_SHOW_HIDDEN;
}

static const char EMERGENCY_DISK_DONE[] =
    "На Рабочем столе создана папка \"KX_disk\".   \n"
    "Вставьте диск CD-R(W) в дисковод    \n"
    "и запишите на него файлы из этой папки.    \n"
    "\n"
    "Если вирус заблокирует управление компьютером -   \n"
    "просто вставьте диск в дисковод и немного подождите.   \n"
    "Kestrix запустится с диска,    \n"
    "закроет все лишние процессы и разблокирует компьютер.  \n"
    "\n"
    "Вместо диска можно использовать LOCK-флешку или карту памяти.    \n"
    "\n"
    "Если диск не поможет - используйте антивирус:  \n"
    "лучшие бесплатные антивирусы можно найти    \n"
    "на сайте " KX_ANTIVIRUS_PAGE;
static const char EMERGENCY_DISK_FAILED[] =
    "Папку для аварийного диска            \n"
    "создать не удалось...\n"
    "\n"
    "Обратетесь к разработчику:    \n"
    KX_HOME_PAGE;

struct ColumnLayout {
    const char *title;
    int width;
};

// Creates one report-view list at 0, 0 of the main window with its columns.
static HWND create_list(HWND window)
{
    return CreateWindowExA(WS_EX_CLIENTEDGE, "SysListView32", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LVS_REPORT, 0,
                           0, 500, 170, window, nullptr, app.instance, nullptr);
}

static void insert_columns(HWND list, const ColumnLayout *columns, int count)
{
    for (int i = 0; i < count; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[i].width;
        column.pszText = (char *)columns[i].title;
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, (LPARAM)&column);
    }
}

static void register_hot_keys(HWND window)
{
    struct HotKey {
        int id;
        UINT modifiers, key;
    } keys[] = {
        {HOTKEY_SHOW, MOD_CONTROL | MOD_ALT, VK_UP},     {HOTKEY_HIDE, MOD_CONTROL | MOD_ALT, VK_DOWN},
        {HOTKEY_STOP_VIRUS, MOD_CONTROL | MOD_ALT, VK_F4},     {HOTKEY_RESTART, MOD_CONTROL | MOD_ALT, VK_RIGHT},
        {HOTKEY_SHUT_DOWN, MOD_CONTROL | MOD_ALT, VK_LEFT},   {HOTKEY_DISK_MANAGEMENT, MOD_CONTROL | MOD_ALT, VK_INSERT},
        {HOTKEY_SAFE_REMOVAL, MOD_CONTROL | MOD_ALT, '0'},       {HOTKEY_CLIPBOARD, MOD_CONTROL, VK_SPACE},
        {HOTKEY_OPEN_FLASH, MOD_CONTROL | MOD_ALT, VK_RETURN},
    };
    for (const HotKey &key : keys)
        RegisterHotKey(window, key.id, key.modifiers, key.key);  // a key held elsewhere is simply unavailable
}

static void on_create(HWND window)
{
    app.main_window = window;
    deferred_count = 0;
    register_hot_keys(window);
    app.hand_cursor = LoadCursorA(nullptr, (LPCSTR)IDC_HAND);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    app.file_list = create_list(window);
    app.process_list = create_list(window);
    app.event_list = create_list(window);
    log_event("Запуск программы Kestrix.");
    app.popup_menu = build_popup_menu();
    allow_taskbar_created(window);

    static const ColumnLayout file_columns[] = {{"N", 30}, {"Адрес файла", 230}, {"Примечание", 90}, {"Когда изменен", 130}};
    static const ColumnLayout process_columns[] = {
        {"N", 30}, {"Процесс", 170}, {"Примечание", 90}, {"ID", 90}, {"ID родителя", 90}};
    static const ColumnLayout event_columns[] = {{"Время", 70}, {"Описание события (лог)", 400}};
    file_item = event_item = LVITEMA{};
    if (app.file_list) {
        insert_columns(app.file_list, file_columns, 4);
        ShowWindow(app.file_list, SW_SHOW);
    }
    if (app.process_list)
        insert_columns(app.process_list, process_columns, 5);
    if (app.event_list)
        insert_columns(app.event_list, event_columns, 2);

    SetTimer(window, TIMER_WATCH_CYCLE, 1000, nullptr);
    if (app.emergency_start == 1) {
        app.emergency_start = 0;
        app.monitoring = 1;
        SetTimer(window, TIMER_STOP_VIRUS, 200, nullptr);
    } else {
        SetTimer(window, TIMER_FIRST_LOOK, 100, nullptr);
    }
}

// The paint covers the whole client area; BeginPaint and EndPaint only validate it.
static void on_paint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    paint_main_window(window);
    EndPaint(window, &paint);
}

static void on_destroy(HWND window)
{
    save_event_log();
    save_settings("set");
    KillTimer(window, TIMER_INTERFACE);
    KillTimer(window, TIMER_FIRST_LOOK);
    KillTimer(window, TIMER_WATCH_CYCLE);
    tray_icon(0);
    PostQuitMessage(0);
}

static bool list_visible(HWND list)
{
    return list && (GetWindowLongA(list, GWL_STYLE) & WS_VISIBLE);
}

// Holding works through the visible flag: releasing the hold of a hidden list would show it.
int hold_list_drawing(HWND list)
{
    if (!list_visible(list))
        return 0;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    return 1;
}

void release_list_drawing(HWND list, int held)
{
    if (!held)
        return;
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

static bool cell_is(HWND list, int row, int column, const char *text)
{
    char shown[TEXT_SIZE + 1] = "";
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = shown;
    cell.cchTextMax = sizeof shown;
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&cell);
    return strcmp(shown, text) == 0;
}

// Whether EventList already is what refilling it would make it: the rows of the event slots,
// scrolled to the top, nothing selected or focused. Refilling it then only costs a redraw.
static bool event_list_current()
{
    HWND list = app.event_list;
    int row = 0;
    for (int slot = 0; slot < EVENT_SLOTS; slot++) {
        char time_part[TEXT_SIZE], text_part[TEXT_SIZE];
        if (!split_event_line(app.events[slot], time_part, sizeof time_part, text_part, sizeof text_part))
            continue;
        if (!cell_is(list, row, 0, time_part) || !cell_is(list, row, 1, text_part))
            return false;
        row++;
    }
    return SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == row && SendMessageA(list, LVM_GETTOPINDEX, 0, 0) == 0 &&
           SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) == 0 &&
           SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED) == -1 && GetScrollPos(list, SB_HORZ) == 0;
}

// EventList filled again from the event slots, drawn once; left alone when that changes nothing.
static void refresh_events()
{
    if (app.event_list && event_list_current())
        return;
    int held = hold_list_drawing(app.event_list);
    refresh_event_list(app.event_list, event_item);
    release_list_drawing(app.event_list, held);
}

static void show_only(HWND visible)
{
    HWND lists[] = {app.file_list, app.process_list, app.event_list};
    for (HWND list : lists)
        ShowWindow(list, list == visible ? SW_SHOW : SW_HIDE);
}

// Timer 601: the region under the pointer chooses the visible list; then a repaint when the
// window shows something new.
static void on_interface_tick(HWND window)
{
    app.hover_region = hit_test(app.pointer_x, app.pointer_y);
    if (app.hover_region == 3) {
        if (app.shown_region != 3)
            show_only(app.file_list);
    } else if (app.hover_region == 4) {
        if (app.shown_region != 4)
            show_only(app.process_list);
    } else if (app.hover_region == 5 || app.autoruns_found != 0) {
        if (app.event_list_filled == 0) {
            app.event_list_filled = 1;
            refresh_events();
        }
        if (app.shown_region != 5)
            show_only(app.event_list);
    } else {
        app.event_list_filled = 0;
    }
    paint_main_window_when_changed(window);
    app.shown_region = app.hover_region;
}

// Timer 602: the first look at the drives and processes after a normal start.
static void on_first_look(HWND window)
{
    if (app.busy)
        return;  // fires again
    app.busy = 1;
    KillTimer(window, TIMER_FIRST_LOOK);
    scan_removable_drives(app.file_list, file_item, 0);
    refresh_process_list(app.process_list);
    paint_main_window_when_changed(window);
    end_busy(window);
}

// Timer 603: drives on the second tick of four, processes on the fourth.
static void on_watch_cycle(HWND window)
{
    if (app.first_ticks < 10)
        app.first_ticks++;
    if (app.busy || app.monitoring == 0)
        return;
    app.tick_phase++;
    if (app.tick_phase == 4) {
        app.tick_phase = 0;
        app.cycle_phase = 2;
        refresh_process_list(app.process_list);
    } else if (app.tick_phase == 2) {
        scan_removable_drives(app.file_list, file_item, 0);
        app.cycle_phase = 1;
        if (app.autoruns_found != 0) {
            scan_removable_drives(app.file_list, file_item, 1);
            show_main_window(SHOW_WINDOW);
            if (termination_due())
                kill_foreign_processes(app.process_list);
        }
    } else {
        app.cycle_phase = 0;
    }
    if (list_visible(app.event_list))
        refresh_events();
    paint_main_window_when_changed(window);
    if (app.first_ticks == 1 && app.settings[SETTING_AUTOSTART] == '1')
        show_main_window(HIDE_TO_TRAY);  // started at logon: out of the way after a second
    // The strip is drawn straight on the screen, maybe over this window: the next tick repaints.
    if (signal_tick())
        forget_last_paint();
}

// Timer 604: the check the user asked for, with the full registry repair.
static void on_manual_check(HWND window)
{
    if (app.busy)
        return;
    app.busy = 1;
    app.monitoring_saved = app.monitoring;
    app.monitoring = 0;
    KillTimer(window, TIMER_MANUAL_CHECK);
    app.manual_scan = 1;
    scan_removable_drives(app.file_list, file_item, 0);
    if (app.autoruns_found != 0)
        scan_removable_drives(app.file_list, file_item, 1);
    paint_main_window_when_changed(window);
    app.monitoring = app.monitoring_saved;
    app.manual_scan = 0;
    end_busy(window);
}

// Timer 605: act pass and termination of foreign processes, then the logoff escalation.
static void on_stop_virus(HWND window)
{
    if (app.busy)
        return;
    app.busy = 1;
    KillTimer(window, TIMER_STOP_VIRUS);
    scan_removable_drives(app.file_list, file_item, 1);
    kill_foreign_processes(app.process_list);
    paint_main_window_when_changed(window);
    end_busy(window);
    if (app.logoff_state == 0)
        app.logoff_state = 1;
    else if (app.logoff_state == 2)
        seam_exit_windows_ex(EWX_LOGOFF, 0xFFFFFFFF);
}

// Timer 606: the list may change again, and a shell the pass ended is started again if it
// is still missing. It leaves busy alone: it can fire inside another handler's message box,
// and clearing busy there would let a second long handler run inside the first.
static void on_kill_guard_end(HWND window)
{
    KillTimer(window, TIMER_KILL_GUARD);
    app.kill_guard = 0;
    restart_shell_if_missing();
}

// The interface tick serves a window on the screen alone: hidden in the tray, the window has
// no pointer, no visible list and no pixels to keep, so the tick stops until it shows again.
static void on_window_pos_changed(HWND window, const WINDOWPOS *position)
{
    if (position->flags & SWP_HIDEWINDOW)
        KillTimer(window, TIMER_INTERFACE);
    if (position->flags & SWP_SHOWWINDOW)
        SetTimer(window, TIMER_INTERFACE, 100, nullptr);
}

// A pointer position is used by one interface tick at most.
static void on_mouse_move(LPARAM lparam)
{
    app.pointer_x = LOWORD(lparam);
    app.pointer_y = HIWORD(lparam);
    if (app.hover_region != 0)
        SetCursor(app.hand_cursor);
}

static void on_timer(HWND window, WPARAM id)
{
    switch (id) {
    case TIMER_INTERFACE: on_interface_tick(window); break;
    case TIMER_FIRST_LOOK: on_first_look(window); break;
    case TIMER_WATCH_CYCLE: on_watch_cycle(window); break;
    case TIMER_MANUAL_CHECK: on_manual_check(window); break;
    case TIMER_STOP_VIRUS: on_stop_virus(window); break;
    case TIMER_KILL_GUARD: on_kill_guard_end(window); break;
    }
    on_mouse_move(0);
}

static void toggle_copy_program()
{
    char &flag = app.settings[SETTING_COPY_PROGRAM];
    flag = flag == '0' ? '1' : '0';
    set_menu_check(CMD_COPY_PROGRAM, flag == '1');
    reopen_popup_menu();
}

static void toggle_autorun_policy()
{
    if (app.autorun_blocked == 1) {
        if (autorun_policy("set_145")) {
            app.autorun_blocked = 0;
            set_menu_check(CMD_BLOCK_AUTORUN, false);
        }
    } else if (autorun_policy("set_149")) {
        app.autorun_blocked = 1;
        set_menu_check(CMD_BLOCK_AUTORUN, true);
    }
    reopen_popup_menu();
}

static void toggle_autostart()
{
    char &flag = app.settings[SETTING_AUTOSTART];
    int turn_on = flag == '0';
    if (set_autostart(turn_on)) {
        flag = turn_on ? '1' : '0';
        set_menu_check(CMD_AUTOSTART, turn_on);
    }
    reopen_popup_menu();
}

static void toggle_signal()
{
    if (app.signal_on == 1) {
        app.signal_on = 0;
        set_menu_check(CMD_SIGNAL, false);
        title_strip(0);
    } else {
        app.signal_on = 1;
        set_menu_check(CMD_SIGNAL, true);
    }
    reopen_popup_menu();
}

static void clipboard_to_desktop_file()
{
    if (!text_format(app.scratch, "%s\\Буфер_обмена.txt", app.desktop_dir))
        return;  // a desktop path this long leaves no room for the file name
    if (clipboard_text_to_file(app.scratch))
        open_with_shell(app.scratch, app.main_window);
}

static void emergency_disk()
{
    if (create_emergency_disk()) {
        show_result(EMERGENCY_DISK_DONE, " ");
        open_with_shell(app.emergency_disk_dir, app.main_window);
    } else {
        show_result(EMERGENCY_DISK_FAILED, " ");
    }
}

static void open_flash_drive()
{
    const char *root = app.flash_root[0] ? app.flash_root : app.last_removable_root;
    if (root[0])
        seam_shell_execute(nullptr, "Open", root, "", "", SW_SHOWNORMAL);
    else
        show_result("Вставьте флешку и повторите попытку...   ", " ");
}

static void system_policy_tool()
{
    open_console(app.is_xp ? "gpedit.msc" : "lusrmgr.msc");
}

// The safe-removal panel, which the menu label and the Ctrl+Alt+0 hot key both name.
static void open_safe_removal()
{
    start_system_tool("rundll32.exe", "shell32.dll,Control_RunDLL hotplug.dll");
}

static void on_command(HWND window, WPARAM id)
{
    if (waits_for_busy_command(id) && defer_while_busy(WM_COMMAND, id))
        return;
    switch (id) {
    case CMD_OPEN: show_main_window(SHOW_WINDOW); break;
    case CMD_EXIT: SendMessageA(window, WM_CLOSE, 0, 0); break;
    case CMD_STOP_VIRUS: SetTimer(window, TIMER_STOP_VIRUS, 100, nullptr); break;
    case CMD_RESTART: restart_computer(); break;
    case CMD_SHUT_DOWN: shut_down_computer(); break;
    case CMD_COPY_PROGRAM: toggle_copy_program(); break;
    case CMD_BLOCK_AUTORUN: toggle_autorun_policy(); break;
    case CMD_AUTOSTART: toggle_autostart(); break;
    case CMD_SIGNAL: toggle_signal(); break;
    case CMD_SERVICES: open_console("services.msc"); break;
    case CMD_REGISTRY_EDITOR: open_registry_editor(); break;
    case CMD_GROUP_POLICY: system_policy_tool(); break;
    case CMD_SYSTEM_RESTORE: open_system_restore(); break;
    case CMD_TASK_MANAGER: start_system_tool("taskmgr.exe", ""); break;
    case CMD_COMMAND_LINE: start_system_tool("cmd.exe", ""); break;
    case CMD_CLIPBOARD: clipboard_to_desktop_file(); break;
    case CMD_EMERGENCY_DISK: emergency_disk(); break;
    case CMD_SHOW_LOGS: open_with_shell(app.log_path, window); break;
    case CMD_OPEN_FLASH: open_flash_drive(); break;
    case CMD_RESET_HOSTS:
        if (!reset_hosts_and_routes())
            show_result("Неудачная попытка.    \nПопробуйте еще раз.   ", " ");
        break;
    case CMD_SAFE_REMOVAL: open_safe_removal(); break;
    case CMD_SHOW_HIDDEN: show_hidden_files(); break;
    }
}

static void on_hotkey(HWND window, WPARAM id)
{
    if ((id == HOTKEY_RESTART || id == HOTKEY_SHUT_DOWN) && defer_while_busy(WM_HOTKEY, id))
        return;
    switch (id) {
    case HOTKEY_SHOW: show_main_window(SHOW_WINDOW); break;
    case HOTKEY_HIDE: show_main_window(HIDE_TO_TRAY); break;
    case HOTKEY_STOP_VIRUS: SetTimer(window, TIMER_STOP_VIRUS, 100, nullptr); break;
    case HOTKEY_RESTART: restart_computer(); break;
    case HOTKEY_SHUT_DOWN: shut_down_computer(); break;
    case HOTKEY_DISK_MANAGEMENT: open_console("diskmgmt.msc"); break;
    case HOTKEY_SAFE_REMOVAL: open_safe_removal(); break;
    case HOTKEY_CLIPBOARD: clipboard_to_desktop_file(); break;
    case HOTKEY_OPEN_FLASH: open_flash_drive(); break;
    }
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    // A restarted shell forgets every icon; a registered message has no fixed number.
    if (message == taskbar_created_message()) {
        on_taskbar_created();
        return 0;
    }
    // Any process may ask how many drawing objects the program holds; asking changes nothing.
    if (message == resource_counts_message())
        return packed_resource_counts();
    switch (message) {
    case WM_CREATE: on_create(window); break;
    case WM_ERASEBKGND: return 1;  // the paint covers the whole client area
    case WM_PAINT: on_paint(window); break;
    case WM_SHOWWINDOW:
    case WM_SIZE: forget_last_paint(); break;  // shown, hidden, minimised or restored
    case WM_WINDOWPOSCHANGED: on_window_pos_changed(window, (const WINDOWPOS *)lparam); break;
    case WM_CLOSE:
        // Closed from the tray menu inside a long handler's box: the handler finishes first.
        if (defer_while_busy(WM_CLOSE, 0))
            return 0;
        break;
    case WM_DESTROY: on_destroy(window); break;
    case WM_SYSCOMMAND:
        // Hidden to the tray already: the default minimise would show the window again.
        if ((wparam & 0xFFF0) == SC_MINIMIZE) {
            show_main_window(HIDE_TO_TRAY);
            return 0;
        }
        break;
    case WM_TIMER: on_timer(window, wparam); break;
    case WM_MOUSEMOVE: on_mouse_move(lparam); break;
    case WM_LBUTTONDOWN:
        if (app.hover_region != 0)
            SetCursor(app.hand_cursor);
        break;
    case WM_LBUTTONUP:
        if (app.busy == 0)
            click_region(app.hover_region);
        break;
    case WM_HOTKEY: on_hotkey(window, wparam); break;
    case WM_COMMAND: on_command(window, wparam); break;
    case WM_TRAY_NOTIFY: on_tray_notify(lparam); break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
