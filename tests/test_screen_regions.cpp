// Hit test and clicks of the painted regions.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "app/screen_regions.h"
#include "common/seams.h"
#include "kx_product.h"

static std::vector<std::string> launched;

static BOOL WINAPI record_create_process(LPCSTR, LPSTR command_line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                         BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION)
{
    launched.push_back(command_line);
    return FALSE;
}
static HINSTANCE WINAPI record_shell(HWND, LPCSTR, LPCSTR target, LPCSTR, LPCSTR, INT)
{
    launched.push_back(target);
    return (HINSTANCE)33;
}

class ScreenRegionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(init_app_state(), 1);
        launched.clear();
        seam_create_process = record_create_process;
        seam_shell_execute = record_shell;
    }
    void TearDown() override { reset_seams(); }
};

TEST_F(ScreenRegionsTest, HitTestFollowsTheRectanglesAndTheBand)
{
    struct Case {
        int x, y, region;
        const char *hint;  // nullptr: the hint stays as it was
    } cases[] = {
        {4, 205, 0, nullptr},     // inside region 1's rectangle, but left of the band
        {6, 205, 1, nullptr},     // region 1 from x 6
        {74, 265, 1, nullptr},    // last pixel of region 1
        {75, 230, 0, "Kestrix 4.3: " KX_WEB_DOMAIN},  // right edge is outside
        {200, 230, 0, "Kestrix 4.3: " KX_WEB_DOMAIN}, // between buttons 2 and 3
        {100, 230, 2, "Выбрать хороший (бес)платный антивирус."},
        {330, 230, 3, "Удалить аутораны и почистить реестр после вируса."},
        {420, 230, 4, "Завершить лишние процессы и удалить аутораны."},
        {480, 250, 5, "Выключить наблюдение за ауторанами."},
        {495, 250, 0, nullptr},   // in region 5's rectangle, right of the band
        {180, 280, 14, "Управление компьютером."},
        {480, 280, 19, "Свернуть окно программы в трей."},
        {30, 266, 0, "Kestrix 4.3: " KX_WEB_DOMAIN},  // bottom edge of region 1 is outside
    };
    for (const Case &c : cases) {
        strcpy(app.hint_text, "previous");
        app.hover_rect = RECT{1, 2, 3, 4};
        EXPECT_EQ(hit_test(c.x, c.y), c.region) << c.x << "," << c.y;
        if (c.hint)
            EXPECT_STREQ(app.hint_text, c.hint) << c.x << "," << c.y;
        if (c.region) {
            EXPECT_EQ(app.hover_rect.left, app.regions[c.region <= 5 ? c.region - 1 : c.region - 6].hit.left);
        } else {
            EXPECT_EQ(app.hover_rect.left, 1) << "hover_rect keeps the last region hit";
        }
    }
    strcpy(app.hint_text, "previous");
    app.hover_region = 4;
    EXPECT_EQ(hit_test(0, 0), 4);  // no new position: the last result, nothing changed
    EXPECT_STREQ(app.hint_text, "previous");
}

TEST_F(ScreenRegionsTest, RegionFiveSwitchesMonitoringAndItsHint)
{
    app.monitoring = 1;
    EXPECT_EQ(click_region(5), 1);
    EXPECT_EQ(app.monitoring, 0);
    hit_test(480, 250);
    EXPECT_STREQ(app.hint_text, "Включить наблюдение за ауторанами.");
    EXPECT_EQ(click_region(5), 1);
    EXPECT_EQ(app.monitoring, 1);
    hit_test(480, 250);
    EXPECT_STREQ(app.hint_text, "Выключить наблюдение за ауторанами.");
}

TEST_F(ScreenRegionsTest, ClicksLaunchTheirToolsAndNothingWhileBusy)
{
    const std::string sys = app.system_dir;
    char win[MAX_PATH];
    GetSystemWindowsDirectoryA(win, sizeof win);
    struct Case {
        int region;
        std::string launched;
    } cases[] = {
        {1, KX_OTHER_SITE},
        {2, KX_ANTIVIRUS_PAGE},
        {11, KX_HOME_PAGE},
        {12, "\"" + sys + "\\control.exe\" \"" + sys + "\\appwiz.cpl\""},
        {14, "\"" + sys + "\\mmc.exe\" \"" + sys + "\\compmgmt.msc\""},
        {15, "\"" + sys + "\\mmc.exe\" \"" + sys + "\\devmgmt.msc\""},
        {16, "\"" + sys + "\\mmc.exe\" \"" + sys + "\\services.msc\""},
        {17, "\"" + std::string(win) + "\\regedit.exe\""},
        {18, "\"" + sys + "\\taskmgr.exe\""},
        {13, "\"" + sys + "\\rstrui.exe\""},
    };
    app.is_xp = 0;
    for (const Case &c : cases) {
        launched.clear();
        EXPECT_EQ(click_region(c.region), 1);
        ASSERT_FALSE(launched.empty()) << c.region;
        EXPECT_EQ(launched.back(), c.launched) << c.region;
    }
    launched.clear();
    app.busy = 1;
    EXPECT_EQ(click_region(12), 0);
    app.busy = 0;
    EXPECT_EQ(click_region(0), 0);
    EXPECT_TRUE(launched.empty());

    // On XP the tool lives in a folder of its own; windir, which a user can set, plays no part.
    app.is_xp = 1;
    SetEnvironmentVariableA("windir", "C:\\Users\\kxuser\\Desktop");
    click_region(13);
    ASSERT_FALSE(launched.empty());
    EXPECT_EQ(launched.back(), "\"" + sys + "\\restore\\rstrui.exe\"");
    SetEnvironmentVariableA("windir", win);
}

TEST_F(ScreenRegionsTest, PanelButtonsStartTheirTimers)
{
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    app.main_window = window;
    click_region(3);
    EXPECT_TRUE(KillTimer(window, TIMER_MANUAL_CHECK));
    click_region(4);
    EXPECT_TRUE(KillTimer(window, TIMER_STOP_VIRUS));
    DestroyWindow(window);
    app.main_window = nullptr;
}
