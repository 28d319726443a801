#include "app/screen_regions.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/ids.h"
#include "app/system_commands.h"
#include "app/tray_menu.h"
#include "common/bounded_text.h"
#include "kx_product.h"
#include "log/connection_signal.h"

static const char DEFAULT_HINT[] = KX_WINDOW_TITLE ": " KX_WEB_DOMAIN;

// Hints in the order of app.regions; region 5's depends on monitoring.
static const char *region_hint(int number)
{
    switch (number) {
    case 1: return "Полезные программы для флешек и компьютера: " KX_OTHER_SITE;
    case 2: return "Выбрать хороший (бес)платный антивирус.";
    case 3: return "Удалить аутораны и почистить реестр после вируса.";
    case 4: return "Завершить лишние процессы и удалить аутораны.";
    case 5:
        return app.monitoring == 1 ? "Выключить наблюдение за ауторанами." : "Включить наблюдение за ауторанами.";
    case 11: return "Описание программы. Проверить обновление.";
    case 12: return "Установка и удаление программ Windows.";
    case 13: return "Восстановление системы.";
    case 14: return "Управление компьютером.";
    case 15: return "Диспетчер устройств.";
    case 16: return "Службы.";
    case 17: return "Реестр Windows.";
    case 18: return "Диспетчер задач Windows.";
    case 19: return "Свернуть окно программы в трей.";
    }
    return DEFAULT_HINT;
}

static bool inside(const RECT &rect, int x, int y)
{
    return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

int hit_test(int x, int y)
{
    if (x == 0 && y == 0)
        return app.hover_region;
    if (x < 6 || x > 490)
        return 0;  // outside the hit band: the previous hint stays on screen
    for (const ClickRegion &region : app.regions) {
        if (inside(region.hit, x, y)) {
            app.hover_rect = region.hit;
            text_copy(app.hint_text, region_hint(region.number));
            return region.number;
        }
    }
    text_copy(app.hint_text, DEFAULT_HINT);
    return 0;
}

void open_system_restore()
{
    start_system_tool(app.is_xp ? "restore\\rstrui.exe" : "rstrui.exe", "");
}

// Region 5: the watch cycle on and off; switching it off also wipes the strip.
static void switch_monitoring()
{
    app.monitoring++;
    if (app.monitoring > 1) {
        app.monitoring = 0;
        title_strip(0);
    }
}

int click_region(int region)
{
    if (region == 0 || app.busy)
        return 0;
    switch (region) {
    case 1: open_with_shell(KX_OTHER_SITE, app.main_window); break;
    case 2: open_with_shell(KX_ANTIVIRUS_PAGE, app.main_window); break;
    case 3: SetTimer(app.main_window, TIMER_MANUAL_CHECK, 100, nullptr); break;
    case 4: SetTimer(app.main_window, TIMER_STOP_VIRUS, 100, nullptr); break;
    case 5: switch_monitoring(); break;
    case 11: open_with_shell(KX_HOME_PAGE, app.main_window); break;
    case 12: open_control_panel("appwiz.cpl"); break;
    case 13: open_system_restore(); break;
    case 14: open_console("compmgmt.msc"); break;
    case 15: open_console("devmgmt.msc"); break;
    case 16: open_console("services.msc"); break;
    case 17: open_registry_editor(); break;
    case 18: start_system_tool("taskmgr.exe", ""); break;
    case 19: show_main_window(1); break;  // hide to the tray
    }
    return 1;
}
