// The notification-area icon, showing and hiding the main window, and the popup menu.
#include "app/tray_menu.h"

#include <cstddef>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "kx_product.h"
#include "log/resource_counts.h"
#include "log/window_painting.h"

// The icon data up to the balloon fields and the item GUID: the structure version whose
// balloons the watch cycle uses, understood by every shell from Windows XP on.
static const DWORD NOTIFY_DATA_SIZE = offsetof(NOTIFYICONDATAA, guidItem) + sizeof(GUID);

struct MenuRow {
    int command;  // 0: a separator
    const char *label;
};

static const MenuRow MENU_ROWS[] = {
    {CMD_OPEN, "Открыть: [CTRL+ALT + ВВЕРХ]"},
    {0, nullptr},
    {CMD_STOP_VIRUS, "Остановить вирус:  [CTRL+ALT+F4]"},
    {CMD_RESTART, "Перезагрузка:  [CTRL+ALT + ВПРАВО]"},
    {CMD_SHUT_DOWN, "Выключить комп.:  [CTRL+ALT + ВЛЕВО]"},
    {0, nullptr},
    {CMD_COPY_PROGRAM, "Копировать KX в папку защиты"},
    {CMD_BLOCK_AUTORUN, "Блокировать автозапуск с флешек"},
    {CMD_SIGNAL, "Сигналить о подключенной флешке"},
    {CMD_AUTOSTART, "Добавить программу в Автозапуск"},
    {0, nullptr},
    {CMD_SERVICES, "Службы"},
    {CMD_REGISTRY_EDITOR, "Редактор Реестра"},
    {CMD_GROUP_POLICY, "Групповая политика"},
    {CMD_SYSTEM_RESTORE, "Восстановление системы"},
    {CMD_TASK_MANAGER, "Диспетчер задач Windows"},
    {CMD_COMMAND_LINE, "Командная строка"},
    {CMD_CLIPBOARD, "Буфер обмена (текст) [CTRL+ПРОБЕЛ]"},
    {0, nullptr},
    {CMD_RESET_HOSTS, "Восстановить начальные IP-адреса (hosts)"},
    {CMD_SHOW_HIDDEN, "Показать скрытые файлы и папки"},
    {CMD_EMERGENCY_DISK, nullptr},  // labelled with the version when the menu is built
    {CMD_OPEN_FLASH, "Открыть флешку [CTRL+ALT+ENTER]"},
    {CMD_SAFE_REMOVAL, "Безопасное извлечение: [CTRL+ALT+0]"},
    {CMD_SHOW_LOGS, "Смотреть логи"},
    {0, nullptr},
    {CMD_EXIT, "Выход"},
};

static const char FLASH_ITEM_WITH_DRIVE[] = "Открыть флешку (D:) [CTRL+ALT+ENTER]";
static const char FLASH_ITEM_PLAIN[] = "Открыть флешку [CTRL+ALT+ENTER]";
enum { FLASH_ITEM_LETTER = 16 };  // the D of "(D:)"

int tray_icon(int add)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFY_DATA_SIZE;
    data.hWnd = app.main_window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_KESTRIX));
    text_format(data.szTip, "%s. Удаление ауторанов, \n защита флешек, плееров, карт памяти... ", KX_WINDOW_TITLE);
    Shell_NotifyIconA(add ? NIM_ADD : NIM_DELETE, &data);
    return 1;
}

int show_main_window(int mode)
{
    if (mode == 1) {
        // Through the minimised state: a second start of the program restores a minimised window.
        ShowWindow(app.main_window, SW_MINIMIZE);
        ShowWindow(app.main_window, SW_HIDE);
        tray_icon(1);
        return 1;
    }
    if (!paint_main_window(app.main_window)) {
        tray_icon(1);
        return 1;
    }
    ShowWindow(app.main_window, SW_SHOW);
    if (IsIconic(app.main_window))
        ShowWindow(app.main_window, SW_SHOWNORMAL);
    tray_icon(0);
    return 1;
}

// Check mark of an option item as the options stand now.
static int option_checked(int command)
{
    switch (command) {
    case CMD_COPY_PROGRAM:
        return app.settings[SETTING_COPY_PROGRAM] != '0';
    case CMD_BLOCK_AUTORUN:
        return app.autorun_blocked == 1;
    case CMD_SIGNAL:
        return app.signal_on == 1;
    case CMD_AUTOSTART:
        return app.settings[SETTING_AUTOSTART] != '0';
    }
    return 0;
}

// Appends one row of the table: a separator, or an item with its check mark and default flag.
static void append_row(HMENU menu, const MenuRow &row)
{
    if (row.command == 0) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        return;
    }
    const char *label = row.label;
    if (row.command == CMD_EMERGENCY_DISK) {
        text_format(app.scratch, "Создать аварийный диск  [%s]", KX_VERSION_DOTTED);
        label = app.scratch;
    }
    UINT flags = MF_STRING;
    if (option_checked(row.command))
        flags |= MF_CHECKED;
    if (row.command == CMD_OPEN)
        flags |= MF_DEFAULT;
    AppendMenuA(menu, flags, (UINT_PTR)row.command, label);
}

HMENU build_popup_menu()
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    count_made(RESOURCE_USER);  // kept for the whole run
    for (const MenuRow &row : MENU_ROWS)
        append_row(menu, row);
    SetMenuDefaultItem(menu, CMD_OPEN, FALSE);
    return menu;
}

void set_menu_check(int command, int checked)
{
    CheckMenuItem(app.popup_menu, (UINT)command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

// Names the current flash drive in item 43, or drops the drive when there is none.
static void relabel_flash_item()
{
    const char *label = FLASH_ITEM_PLAIN;
    if (app.flash_root[0]) {
        text_copy(app.scratch, FLASH_ITEM_WITH_DRIVE);
        app.scratch[FLASH_ITEM_LETTER] = app.flash_root[0];
        label = app.scratch;
    }
    ModifyMenuA(app.popup_menu, CMD_OPEN_FLASH, MF_BYCOMMAND | MF_STRING, CMD_OPEN_FLASH, label);
}

int reopen_popup_menu()
{
    if (!app.popup_menu)
        return 0;
    // The window must be in front, or the menu stays open when the user clicks elsewhere.
    SetForegroundWindow(app.main_window);
    seam_track_popup_menu(app.popup_menu, 0, app.menu_point.x, app.menu_point.y, 0, app.main_window, nullptr);
    PostMessageA(app.main_window, WM_NULL, 0, 0);
    return 1;
}

// Right click on the icon: the menu at the pointer, item 43 naming the current drive.
static void open_popup_menu()
{
    SetForegroundWindow(app.main_window);
    GetCursorPos(&app.menu_point);
    if (!app.popup_menu)
        return;
    relabel_flash_item();
    reopen_popup_menu();
}

int on_tray_notify(LPARAM lparam)
{
    switch ((UINT)lparam) {
    case WM_LBUTTONDOWN:
        show_main_window(2);
        return 1;
    case WM_RBUTTONDOWN:
        open_popup_menu();
        return 1;
    }
    return 0;
}

UINT taskbar_created_message()
{
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

void allow_taskbar_created(HWND window)
{
    // An elevated program does not get this broadcast from the shell unless it asks for it.
    ChangeWindowMessageFilterEx(window, taskbar_created_message(), MSGFLT_ALLOW, nullptr);
}

int on_taskbar_created()
{
    if (!app.main_window || IsWindowVisible(app.main_window))
        return 0;
    tray_icon(1);
    return 1;
}
