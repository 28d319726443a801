// The popup menu read back from the real menu, the tray notifications, showing and hiding
// the real main window with its notification-area icon, and the icon's return after a
// shell restart.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <gdiplus.h>
#include <shellapi.h>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "app/tray_menu.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "test_support.h"

namespace {

struct Row {
    UINT id;  // 0: separator
    const char *label;
};

const Row EXPECTED_ROWS[27] = {
    {1, "Открыть: [CTRL+ALT + ВВЕРХ]"},
    {0, ""},
    {11, "Остановить вирус:  [CTRL+ALT+F4]"},
    {13, "Перезагрузка:  [CTRL+ALT + ВПРАВО]"},
    {14, "Выключить комп.:  [CTRL+ALT + ВЛЕВО]"},
    {0, ""},
    {22, "Копировать KX в папку защиты"},
    {23, "Блокировать автозапуск с флешек"},
    {25, "Сигналить о подключенной флешке"},
    {24, "Добавить программу в Автозапуск"},
    {0, ""},
    {31, "Службы"},
    {32, "Редактор Реестра"},
    {33, "Групповая политика"},
    {34, "Восстановление системы"},
    {35, "Диспетчер задач Windows"},
    {36, "Командная строка"},
    {37, "Буфер обмена (текст) [CTRL+ПРОБЕЛ]"},
    {0, ""},
    {44, "Восстановить начальные IP-адреса (hosts)"},
    {46, "Показать скрытые файлы и папки"},
    {41, "Создать аварийный диск  [4.3.2013.3]"},
    {43, "Открыть флешку [CTRL+ALT+ENTER]"},
    {45, "Безопасное извлечение: [CTRL+ALT+0]"},
    {42, "Смотреть логи"},
    {0, ""},
    {4, "Выход"},
};

struct Item {
    UINT type = 0, state = 0, id = 0;
    std::string label;
};

Item item_at(HMENU menu, UINT position)
{
    char text[256] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    Item item;
    if (!GetMenuItemInfoA(menu, position, TRUE, &info))
        return item;
    item.type = info.fType;
    item.state = info.fState;
    item.id = info.wID;
    item.label = text;
    return item;
}

Item item_by_id(HMENU menu, UINT id)
{
    for (int i = 0; i < GetMenuItemCount(menu); i++)
        if (item_at(menu, (UINT)i).id == id && !(item_at(menu, (UINT)i).type & MFT_SEPARATOR))
            return item_at(menu, (UINT)i);
    return Item();
}

bool checked(HMENU menu, UINT id)
{
    return (item_by_id(menu, id).state & MFS_CHECKED) != 0;
}

// What the seam saw each time the menu was to open.
struct Tracked {
    HMENU menu;
    UINT flags;
    int x, y;
    HWND owner;
    std::string flash_label;
    bool block_autorun_checked;
};
std::vector<Tracked> tracked;

BOOL WINAPI record_track(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT *)
{
    tracked.push_back({menu, flags, x, y, owner, item_by_id(menu, CMD_OPEN_FLASH).label, checked(menu, CMD_BLOCK_AUTORUN)});
    return TRUE;
}

// True when the shell holds the program's icon: changing an icon that is not there fails.
bool icon_present()
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = app.main_window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_TIP;
    strcpy(data.szTip, "probe");
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

// Lets the window and the shell finish what the last call started.
void settle()
{
    for (int i = 0; i < 5; i++) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(20);
    }
}

// The real main window (its real window procedure), made once for the whole program.
class Tray : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&app.gdiplus_token, &input, nullptr);
        ASSERT_EQ(init_app_state(), 1);
        app.instance = kestrix_resources();
        ASSERT_NE(app.instance, nullptr);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = main_window_procedure;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "KxTrayTest";
        RegisterClassA(&window_class);
        HWND window = CreateWindowExA(WS_EX_APPWINDOW, "KxTrayTest", "Kestrix tray test",
                                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 100, 100, 500, 330,
                                      nullptr, nullptr, window_class.hInstance, nullptr);
        ASSERT_NE(window, nullptr) << "no display?";
        ASSERT_EQ(app.main_window, window);
        ShowWindow(window, SW_SHOW);
        settle();
    }

    void SetUp() override
    {
        reset_seams();
        seam_track_popup_menu = record_track;
        tracked.clear();
        app.flash_root[0] = '\0';
    }

    void TearDown() override { reset_seams(); }
};

} // namespace

TEST_F(Tray, MenuHasItsRowsInOrderWithTheDefaultItem)
{
    HMENU menu = app.popup_menu;
    ASSERT_NE(menu, nullptr) << "built when the window was created";
    ASSERT_EQ(GetMenuItemCount(menu), 27);
    for (UINT i = 0; i < 27; i++) {
        Item item = item_at(menu, i);
        if (EXPECTED_ROWS[i].id == 0) {
            EXPECT_TRUE(item.type & MFT_SEPARATOR) << "row " << i + 1;
            continue;
        }
        EXPECT_FALSE(item.type & MFT_SEPARATOR) << "row " << i + 1;
        EXPECT_EQ(item.id, EXPECTED_ROWS[i].id) << "row " << i + 1;
        EXPECT_EQ(item.label, EXPECTED_ROWS[i].label) << "row " << i + 1;
    }
    EXPECT_TRUE(item_at(menu, 0).state & MFS_DEFAULT);
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 1u);
}

TEST_F(Tray, CheckMarksFollowTheOptionsAtBuildTime)
{
    struct Case {
        const char *settings;
        int autorun_blocked, signal_on;
        bool copy, block, signal, autostart;
    } cases[] = {
        {"000000", 0, 0, false, false, false, false},
        {"011000", 1, 1, true, true, true, true},
        {"010000", 0, 1, false, false, true, true},
        {"002000", 2, 0, true, false, false, false},  // any character but "0" counts as on
    };
    for (const Case &c : cases) {
        text_copy(app.settings, c.settings);
        app.autorun_blocked = c.autorun_blocked;
        app.signal_on = c.signal_on;
        HMENU menu = build_popup_menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(checked(menu, CMD_COPY_PROGRAM), c.copy) << c.settings;
        EXPECT_EQ(checked(menu, CMD_BLOCK_AUTORUN), c.block) << c.settings;
        EXPECT_EQ(checked(menu, CMD_SIGNAL), c.signal) << c.settings;
        EXPECT_EQ(checked(menu, CMD_AUTOSTART), c.autostart) << c.settings;
        for (UINT id : {1u, 11u, 31u, 41u, 43u, 4u})
            EXPECT_FALSE(checked(menu, id)) << id;
        DestroyMenu(menu);
    }
}

TEST_F(Tray, RightClickRelabelsTheFlashItemAndReopensAfterToggles)
{
    // Under Wine the warp reaches the X server later; a motion event still queued from
    // the old place can move the pointer back, so wait until the new place holds.
    POINT cursor = {};
    for (int attempt = 0; attempt < 50 && !(cursor.x == 321 && cursor.y == 123); attempt++) {
        SetCursorPos(321, 123);
        settle();
        GetCursorPos(&cursor);
    }
    ASSERT_EQ(cursor.x, 321);
    ASSERT_EQ(cursor.y, 123);

    text_copy_n(app.flash_root, sizeof app.flash_root, "E:\\");
    EXPECT_EQ(on_tray_notify(WM_RBUTTONDOWN), 1);
    ASSERT_EQ(tracked.size(), 1u);
    EXPECT_EQ(tracked[0].flash_label, "Открыть флешку (E:) [CTRL+ALT+ENTER]");
    EXPECT_EQ(tracked[0].menu, app.popup_menu);
    EXPECT_EQ(tracked[0].flags, 0u);
    EXPECT_EQ(tracked[0].owner, app.main_window);
    EXPECT_EQ(tracked[0].x, cursor.x);
    EXPECT_EQ(tracked[0].y, cursor.y);
    EXPECT_EQ(app.menu_point.x, cursor.x);
    EXPECT_EQ(app.menu_point.y, cursor.y);
    EXPECT_EQ(GetMenuItemCount(app.popup_menu), 27) << "relabelled in place";

    // A toggle changes the mark and opens the same menu again at the same point.
    bool before = checked(app.popup_menu, CMD_BLOCK_AUTORUN);
    set_menu_check(CMD_BLOCK_AUTORUN, !before);
    SetCursorPos(10, 10);  // the pointer moved meanwhile: the menu still comes back where it was
    EXPECT_EQ(reopen_popup_menu(), 1);
    ASSERT_EQ(tracked.size(), 2u);
    EXPECT_EQ(tracked[1].block_autorun_checked, !before);
    EXPECT_EQ(tracked[1].x, cursor.x);
    EXPECT_EQ(tracked[1].y, cursor.y);
    set_menu_check(CMD_BLOCK_AUTORUN, before);
    EXPECT_EQ(checked(app.popup_menu, CMD_BLOCK_AUTORUN), before);

    // The drive is gone: the next right click drops the letter again.
    app.flash_root[0] = '\0';
    on_tray_notify(WM_RBUTTONDOWN);
    ASSERT_EQ(tracked.size(), 3u);
    EXPECT_EQ(tracked[2].flash_label, "Открыть флешку [CTRL+ALT+ENTER]");
    EXPECT_EQ(item_by_id(app.popup_menu, CMD_OPEN_FLASH).id, (UINT)CMD_OPEN_FLASH);

    // Through the window procedure too, as the shell delivers it.
    text_copy_n(app.flash_root, sizeof app.flash_root, "F:\\");
    SendMessageA(app.main_window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN);
    ASSERT_EQ(tracked.size(), 4u);
    EXPECT_EQ(tracked[3].flash_label, "Открыть флешку (F:) [CTRL+ALT+ENTER]");

    // Other mouse messages do nothing.
    EXPECT_EQ(on_tray_notify(WM_MOUSEMOVE), 0);
    EXPECT_EQ(on_tray_notify(WM_RBUTTONUP), 0);
    EXPECT_EQ(tracked.size(), 4u);
}

TEST_F(Tray, IconExistsExactlyWhileTheWindowIsHidden)
{
    HWND window = app.main_window;
    show_main_window(0);
    settle();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(icon_present());

    EXPECT_EQ(show_main_window(1), 1);
    settle();
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsIconic(window)) << "hidden through the minimised state";
    EXPECT_TRUE(icon_present());
    EXPECT_EQ(show_main_window(1), 1);  // twice in a row: the second add changes nothing
    settle();
    EXPECT_TRUE(icon_present());

    // A left click on the icon brings the window back, normal size, and takes the icon away.
    SendMessageA(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    settle();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_FALSE(icon_present());

    EXPECT_EQ(show_main_window(1), 1);
    EXPECT_EQ(show_main_window(2), 1);
    settle();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(icon_present());
}

TEST_F(Tray, RestartedShellGetsTheIconBackWhileHidden)
{
    HWND window = app.main_window;
    UINT taskbar_created = RegisterWindowMessageA("TaskbarCreated");
    EXPECT_EQ(taskbar_created_message(), taskbar_created);

    show_main_window(1);
    settle();
    ASSERT_TRUE(icon_present());
    // A new shell knows no icons.
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    Shell_NotifyIconA(NIM_DELETE, &data);
    ASSERT_FALSE(icon_present());
    SendMessageA(window, taskbar_created, 0, 0);
    settle();
    EXPECT_TRUE(icon_present()) << "back in the new notification area";

    // While the window shows there is no icon, and a new shell does not get one.
    show_main_window(0);
    settle();
    ASSERT_FALSE(icon_present());
    SendMessageA(window, taskbar_created, 0, 0);
    settle();
    EXPECT_FALSE(icon_present());
}
