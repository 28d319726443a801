// Painting of the main window on the real GDI+ surface: banner highlights, the switch and its
// rings, the underline of the bottom bar, the hint line; the artwork it draws from; and the
// real main window, which paints only when what it shows has changed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "log/connection_signal.h"
#include "log/event_log.h"
#include "log/resource_counts.h"
#include "log/window_painting.h"
#include "test_support.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// All pixels of a bitmap as 32-bit ARGB, row by row.
struct Pixels {
    int width = 0, height = 0;
    std::vector<ARGB> data;
    ARGB at(int x, int y) const { return data[(size_t)y * width + x]; }
};

Pixels read_pixels(GpBitmap *bitmap)
{
    Pixels p;
    UINT w = 0, h = 0;
    GdipGetImageWidth(bitmap, &w);
    GdipGetImageHeight(bitmap, &h);
    p.width = (int)w;
    p.height = (int)h;
    p.data.resize((size_t)w * h);
    GpRect all(0, 0, (INT)w, (INT)h);
    BitmapData locked = {};
    if (GdipBitmapLockBits(bitmap, &all, ImageLockModeRead, PixelFormat32bppARGB, &locked) != Ok)
        return p;
    for (UINT y = 0; y < h; y++)
        memcpy(&p.data[(size_t)y * w], (const BYTE *)locked.Scan0 + (size_t)y * locked.Stride, w * 4);
    GdipBitmapUnlockBits(bitmap, &locked);
    return p;
}

int brightness(ARGB c)
{
    return (int)((c >> 16) & 255) + (int)((c >> 8) & 255) + (int)(c & 255);
}

// Saves a bitmap as a PNG in the test's working folder (inside the build tree), to look at.
void save_png(GpBitmap *bitmap, const WCHAR *name)
{
    CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    GdipSaveImageToFile(bitmap, name, &png, nullptr);
}

GpBitmap *program_bitmap(const WCHAR *name)
{
    GpBitmap *bitmap = nullptr;
    if (GdipCreateBitmapFromResource(kestrix_resources(), name, &bitmap) != Ok)
        return nullptr;
    return bitmap;
}

struct Gdiplus_ : ::testing::Environment {
    void SetUp() override
    {
        GdiplusStartupInput input;
        GdiplusStartup(&token, &input, nullptr);
    }
    ULONG_PTR token = 0;
};
::testing::Environment *const gdiplus_environment = ::testing::AddGlobalTestEnvironment(new Gdiplus_);

const RECT SOURCES[5] = {{4, 4, 75, 65}, {85, 4, 180, 65}, {305, 4, 384, 65}, {386, 2, 468, 65}, {469, 2, 497, 69}};

bool inside(const RECT &r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// A hidden window of the main window's outer size, and the bitmaps the program paints from.
class Painting : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(init_app_state(), 1);
        app.instance = kestrix_resources();
        ASSERT_NE(app.instance, nullptr) << "kestrix.exe cannot be loaded for its resources";
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "KxPaintingTest";
        RegisterClassA(&window_class);
        window = CreateWindowExA(0, "KxPaintingTest", "painting", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0, 500,
                                 330, nullptr, nullptr, window_class.hInstance, nullptr);
        ASSERT_NE(window, nullptr) << "no display?";
        bg1 = read_pixels(program_bitmap(L"BG1"));
        bg2 = read_pixels(program_bitmap(L"BG2"));
    }

    void SetUp() override
    {
        app.hover_region = 0;
        app.monitoring = 0;
        app.cycle_phase = 0;
        app.hover_rect = RECT{0, 0, 1, 1};
        text_copy(app.hint_text, "Kestrix 4.3: kestrix.example");
    }

    static Pixels paint()
    {
        EXPECT_EQ(paint_main_window(window), 1);
        EXPECT_NE(painting_surface(), nullptr);
        return painting_surface() ? read_pixels(painting_surface()) : Pixels();
    }

    // Counts banner pixels that differ from what they should be: bg2 inside the lit
    // rectangles, bg1 elsewhere. Pixels in `skip` are not compared.
    static int banner_mismatches(const Pixels &surface, std::vector<RECT> lit, const std::vector<RECT> &skip = {})
    {
        int wrong = 0;
        for (int y = 0; y < 70; y++)
            for (int x = 0; x < 500; x++) {
                bool skipped = false;
                for (const RECT &r : skip)
                    skipped = skipped || inside(r, x, y);
                if (skipped)
                    continue;
                bool is_lit = false;
                for (const RECT &r : lit)
                    is_lit = is_lit || inside(r, x, y);
                ARGB expected = is_lit ? bg2.at(x, y) : bg1.at(x, y);
                wrong += surface.at(x, y + BANNER_TOP) != expected;
            }
        return wrong;
    }

    static HWND window;
    static Pixels bg1, bg2;
};

HWND Painting::window;
Pixels Painting::bg1, Painting::bg2;

// The bitmap rectangles of the ring boxes, which only the switch tests look at.
const RECT RING_AREA = {468, 51, 493, 65};

} // namespace

TEST(Artwork, ResourcesHaveTheirSizesAndFormats)
{
    ASSERT_NE(kestrix_resources(), nullptr);
    struct Case {
        const WCHAR *name;
        UINT width, height;
    } cases[] = {{L"bg1", 500, 70}, {L"BG2", 500, 70}, {L"BG_TEXT", 40, 40}, {L"TIT_FLESHKA", 40, 240},
                 {L"TIT_FLESHKA_2", 40, 240}};
    for (const Case &c : cases) {
        GpBitmap *bitmap = program_bitmap(c.name);
        ASSERT_NE(bitmap, nullptr);
        UINT w = 0, h = 0;
        GdipGetImageWidth(bitmap, &w);
        GdipGetImageHeight(bitmap, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        GdipDisposeImage(bitmap);
    }

    HRSRC found = FindResourceA(kestrix_resources(), MAKEINTRESOURCEA(147), "WAVE");
    ASSERT_NE(found, nullptr);
    const BYTE *wave = (const BYTE *)LockResource(LoadResource(kestrix_resources(), found));
    DWORD size = SizeofResource(kestrix_resources(), found);
    ASSERT_GE(size, 44u);
    EXPECT_EQ(memcmp(wave, "RIFF", 4), 0);
    EXPECT_EQ(memcmp(wave + 8, "WAVEfmt ", 8), 0);
    WAVEFORMATEX format;
    memcpy(&format, wave + 20, 16);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 32000u);
    EXPECT_EQ(format.wBitsPerSample, 16);
    DWORD data_size;
    memcpy(&data_size, wave + 40, 4);
    EXPECT_EQ(memcmp(wave + 36, "data", 4), 0);
    EXPECT_NEAR(data_size / 4 / 32000.0, 0.51, 0.001);

    for (int size : {16, 32, 48}) {
        HICON icon = (HICON)LoadImageA(kestrix_resources(), MAKEINTRESOURCEA(113), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        GetIconInfo(icon, &info);
        BITMAP bitmap = {};
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST_F(Painting, SwitchDotsSitUnderTheRingBoxes)
{
    // Lit: an orange dot on the left, a pink one on the right; dark in the normal banner.
    ARGB orange = bg2.at(475, 58), pink = bg2.at(486, 58);
    EXPECT_GT((orange >> 16) & 255, 200u);
    EXPECT_LT(orange & 255, 100u);
    EXPECT_GT((pink >> 16) & 255, 200u);
    EXPECT_GT(pink & 255, 120u);
    EXPECT_LT(brightness(bg1.at(474, 57)), 150);
    EXPECT_LT(brightness(bg1.at(485, 57)), 150);
}

TEST_F(Painting, ButtonUnderThePointerShowsItsHighlight)
{
    Pixels rest = paint();
    EXPECT_EQ(banner_mismatches(rest, {}), 0) << "nothing hovered, monitoring off: all bg1";
    for (int region = 1; region <= 4; region++) {
        app.hover_region = region;
        EXPECT_EQ(banner_mismatches(paint(), {SOURCES[region - 1]}), 0) << "region " << region;
    }
    app.hover_region = 5;  // the switch has no hover look of its own
    EXPECT_EQ(banner_mismatches(paint(), {}), 0) << "switch stays dark while monitoring is off";
}

TEST_F(Painting, SwitchLitWhileMonitoringWithRingsByCyclePhase)
{
    app.monitoring = 1;
    app.hover_region = 3;
    struct Case {
        int phase;
        bool left_ringed, right_ringed;
    } cases[] = {{0, true, true}, {1, false, true}, {2, true, false}, {7, true, true}};
    for (const Case &c : cases) {
        app.cycle_phase = c.phase;
        Pixels s = paint();
        if (c.phase == 1)
            save_png(painting_surface(), L"painting_hover3_phase1.png");
        EXPECT_EQ(banner_mismatches(s, {SOURCES[4], SOURCES[2]}, {RING_AREA}), 0) << "phase " << c.phase;
        // On the ring's path the pixel is darkened; a bare dot keeps its bg2 colours.
        for (auto [x, ringed] : {std::pair<int, bool>{474, c.left_ringed}, {485, c.right_ringed}}) {
            for (int y : {54, 57}) {
                ARGB shown = s.at(x, y + BANNER_TOP), lit = bg2.at(x, y);
                if (ringed)
                    EXPECT_LT(brightness(shown), brightness(lit) * 7 / 10) << "phase " << c.phase << " x " << x;
                else
                    EXPECT_EQ(shown, lit) << "phase " << c.phase << " x " << x;
            }
        }
    }
}

TEST_F(Painting, HoveredBottomBarItemIsUnderlined)
{
    Pixels before = paint();
    app.hover_region = 14;
    app.hover_rect = RECT{164, 273, 225, 292};
    Pixels after = paint();
    save_png(painting_surface(), L"painting_underline14.png");
    EXPECT_EQ(banner_mismatches(after, {}), 0);
    for (int x = 168; x < 221; x++)
        for (int y = 291; y <= 293; y++)
            EXPECT_LT(brightness(after.at(x, y)), brightness(before.at(x, y))) << x << "," << y;
    int changed = 0;
    for (int y = 270; y < 300; y++)
        for (int x = 0; x < 500; x++) {
            bool on_line = x >= 167 && x <= 221 && y >= 290 && y <= 294;
            changed += !on_line && after.at(x, y) != before.at(x, y);
        }
    EXPECT_EQ(changed, 0) << "only the line between left + 4 and right - 4 changes";
}

TEST_F(Painting, EmptyHintShowsOnlyTheTextureAndALongHintWrapsInItsBox)
{
    // The texture alone, painted by paint_background on a memory surface of the same size.
    GpBitmap *memory = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(500, 330, 0, PixelFormat32bppARGB, nullptr, &memory), Ok);
    GpGraphics *graphics = nullptr;
    GdipGetImageGraphicsContext(memory, &graphics);
    GpBitmap *bg_text = program_bitmap(L"BG_TEXT");
    EXPECT_EQ(paint_background(graphics, bg_text, program_bitmap(L"BG1"), program_bitmap(L"BG2")), 1);
    GdipDeleteGraphics(graphics);
    Pixels texture = read_pixels(memory);

    auto hint_strip_differences = [&](const Pixels &s, bool inside_box) {
        int n = 0;
        for (int y = 170; y < 201; y++)
            for (int x = 0; x < 500; x++)
                if ((x >= 10 && x < 490) == inside_box)
                    n += s.at(x, y) != texture.at(x, y);
        return n;
    };

    app.hint_text[0] = '\0';
    Pixels empty = paint();
    EXPECT_EQ(hint_strip_differences(empty, true) + hint_strip_differences(empty, false), 0);
    for (int x = 0; x < 500; x++)
        EXPECT_EQ(empty.at(x, 170) >> 24, 255u) << "the strip is opaque to its edge, x " << x;

    // 511 characters of words: several lines, all inside the box (10, 176, 480 x 40).
    std::string words;
    while (words.size() < 511)
        words += "Очень длинная подсказка ";
    words.resize(511);
    memcpy(app.hint_text, words.c_str(), 512);
    Pixels wrapped = paint();
    save_png(painting_surface(), L"painting_long_hint.png");
    EXPECT_GT(hint_strip_differences(wrapped, true), 500);
    EXPECT_EQ(hint_strip_differences(wrapped, false), 0) << "nothing left or right of the box";
    int second_line = 0;
    for (int x = 10; x < 490; x++)
        for (int y = 196; y < 201; y++)
            second_line += wrapped.at(x, y) != texture.at(x, y);
    EXPECT_GT(second_line, 20) << "the text goes on below the first line";
    EXPECT_EQ(banner_mismatches(wrapped, {}, {RECT{0, 0, 500, 216 - BANNER_TOP}}), 0)
        << "nothing below the box's bottom";
    GdipDisposeImage(memory);
}

namespace {

// The client area of a window as it is on the screen, 0x00RRGGBB per pixel.
Pixels window_pixels(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    Pixels p;
    p.width = client.right;
    p.height = client.bottom;
    p.data.resize((size_t)p.width * p.height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, p.width, p.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < p.data.size(); i++)
        p.data[i] = ((const ARGB *)bits)[i] & 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return p;
}

int differences(const Pixels &a, const Pixels &b)
{
    if (a.width != b.width || a.height != b.height)
        return -1;
    int n = 0;
    for (size_t i = 0; i < a.data.size(); i++)
        n += a.data[i] != b.data[i];
    return n;
}

// Handles every message waiting, the paints the system asks for included.
void pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        if (message.message != WM_QUIT)
            DispatchMessageA(&message);
}

BOOL WINAPI silent_sound(LPCSTR, HMODULE, DWORD)
{
    return TRUE;
}

// The real main window on the screen, its timers stopped so that the test sends every tick.
class PaintOnDemand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(init_app_state(), 1);
        scratch_ = make_scratch_dir("on_demand");
        text_copy(app.settings_path, (scratch_ + "\\kx.vars").c_str());
        text_copy(app.log_path, (scratch_ + "\\KX_Log.txt").c_str());
        seam_play_sound = silent_sound;
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = main_window_procedure;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "KxOnDemandTest";
        RegisterClassA(&window_class);
        app.instance = kestrix_resources();
        window_ = CreateWindowExA(0, "KxOnDemandTest", "on demand",
                                  WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                  500, 330, nullptr, nullptr, window_class.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        for (UINT id : {TIMER_FIRST_LOOK, TIMER_WATCH_CYCLE, TIMER_STOP_VIRUS})
            KillTimer(window_, id);
        SetCursorPos(790, 590);  // the real pointer stays off the window: the test moves its own
        ShowWindow(window_, SW_SHOW);
        KillTimer(window_, TIMER_INTERFACE);
        pump();
        app.monitoring = 1;
        app.signal_on = 0;
        tick();
    }
    void TearDown() override
    {
        DestroyWindow(window_);
        pump();
        set_painting_layers(1);
        reset_seams();
        remove_tree(scratch_);
    }
    void tick() { SendMessageA(window_, WM_TIMER, TIMER_INTERFACE, 0); }
    void point(int x, int y) { SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    // Paints that one more tick makes.
    long paints_of_a_tick()
    {
        long before = paints_drawn();
        tick();
        return paints_drawn() - before;
    }
    HWND window_ = nullptr;
    std::string scratch_;
};

} // namespace

TEST_F(PaintOnDemand, ATickPaintsOnlyWhenWhatTheWindowShowsChanged)
{
    EXPECT_EQ(paints_of_a_tick(), 0) << "nothing changed since the last paint";
    struct Change {
        const char *what;
        int x, y;             // a pointer position, 0 0 for none
        void (*apply)();      // a change made to AppState directly, or nullptr
    } changes[] = {
        {"pointer onto button 3", 330, 230, nullptr},
        {"pointer onto bottom-bar item 14", 190, 280, nullptr},
        {"pointer onto item 15 (rectangle and hint)", 250, 280, nullptr},
        {"cycle phase", 0, 0, [] { app.cycle_phase = 1; }},
        {"monitoring off", 0, 0, [] { app.monitoring = 0; }},
        {"hint text alone", 0, 0, [] { text_copy(app.hint_text, "Другая подсказка"); }},
        {"hovered rectangle alone", 0, 0, [] { app.hover_rect.bottom -= 2; }},
        {"a banner rectangle", 0, 0, [] { app.regions[2].source.right -= 3; }},
        {"pointer off the regions", 250, 100, nullptr},
    };
    for (const Change &change : changes) {
        if (change.x || change.y)
            point(change.x, change.y);
        if (change.apply)
            change.apply();
        EXPECT_EQ(paints_of_a_tick(), 1) << change.what;
        EXPECT_EQ(paints_of_a_tick(), 0) << "again after " << change.what;
    }

    // The system asks for lost pixels: that paint is never skipped.
    long before = paints_drawn();
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
    EXPECT_EQ(paints_drawn() - before, 1);
    EXPECT_EQ(paints_of_a_tick(), 0);

    // The connection strip is drawn straight on the screen: the next tick repaints.
    app.signal_on = 1;
    text_copy(app.flash_root, "E:\\");
    signal_counter = 0;
    app.monitoring = 1;
    app.cycle_phase = 0;
    tick();
    app.tick_phase = 2;  // the next watch tick is a plain one, with the same cycle phase
    SendMessageA(window_, WM_TIMER, TIMER_WATCH_CYCLE, 0);
    EXPECT_EQ(signal_counter, 1) << "the strip was drawn";
    EXPECT_EQ(paints_of_a_tick(), 1);
    EXPECT_EQ(paints_of_a_tick(), 0);
}

TEST_F(PaintOnDemand, AHiddenWindowNeverPaintsAndShowsItsStateAtOnceWhenShownAgain)
{
    Pixels before_hiding = window_pixels(window_);
    SendMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_FALSE(IsWindowVisible(window_));
    long hidden_from = paints_drawn();
    point(330, 230);
    tick();
    app.monitoring = 0;
    tick();
    text_copy(app.hint_text, "Подсказка, пока окна нет");
    tick();
    pump();
    EXPECT_EQ(paints_drawn(), hidden_from) << "nothing is painted for a window in the tray";

    // From the tray, as the menu's first item does it.
    SendMessageA(window_, WM_COMMAND, CMD_OPEN, 0);
    pump();
    ASSERT_TRUE(IsWindowVisible(window_));
    Pixels shown = window_pixels(window_);
    EXPECT_GT(differences(shown, before_hiding), 1000) << "the window shows the state it has now";
    paint_main_window(window_);
    EXPECT_EQ(differences(shown, window_pixels(window_)), 0) << "the same as a paint forced now";
    EXPECT_EQ(paints_of_a_tick(), 0);
}

// What the window shows after a run of ticks, each of which may skip its paint, is what
// painting everything on every tick would show; and the kept layers change no pixel.
TEST_F(PaintOnDemand, PixelsOnScreenAreThoseOfPaintingEveryTick)
{
    std::string long_hint;
    while (long_hint.size() < 400)
        long_hint += "Очень длинная подсказка ";
    struct Step {
        const char *what;
        int x, y;  // pointer, 0 0 for none
        int monitoring, phase;
        const char *hint;  // nullptr: what the hit test set
    } steps[] = {
        {"rest", 0, 0, 1, 0, nullptr},
        {"button 3", 330, 230, 1, 0, nullptr},
        {"button 1, phase 1", 40, 230, 1, 1, nullptr},
        {"item 14 underlined", 190, 280, 1, 2, nullptr},
        {"item 19, monitoring off", 470, 280, 0, 2, nullptr},
        {"switch, monitoring on", 480, 230, 1, 0, nullptr},
        {"long hint over the banner", 0, 0, 1, 0, long_hint.c_str()},
        {"empty hint", 0, 0, 1, 1, ""},
        {"off the regions", 250, 100, 1, 2, nullptr},
    };
    Pixels previous;
    for (const Step &step : steps) {
        if (step.x || step.y)
            point(step.x, step.y);
        app.monitoring = step.monitoring;
        app.cycle_phase = step.phase;
        tick();
        if (step.hint)
            text_copy(app.hint_text, step.hint);
        tick();
        tick();
        Pixels on_demand = window_pixels(window_);
        EXPECT_NE(differences(on_demand, previous), 0) << step.what << ": the step shows something new";
        previous = on_demand;

        paint_main_window(window_);
        EXPECT_EQ(differences(on_demand, window_pixels(window_)), 0) << step.what << ": forced paint";

        // The surface blended over the window by GDI+, the way the copy was always made.
        GpGraphics *screen = nullptr;
        ASSERT_EQ(GdipCreateFromHWND(window_, &screen), Ok);
        GdipDrawImageRectI(screen, painting_surface(), 0, 0, 500, 330);
        GdipDeleteGraphics(screen);
        EXPECT_EQ(differences(on_demand, window_pixels(window_)), 0) << step.what << ": blended copy";

        Pixels layered = read_pixels(painting_surface());
        set_painting_layers(0);
        paint_main_window(window_);
        set_painting_layers(1);
        Pixels afresh = read_pixels(painting_surface());
        EXPECT_EQ(differences(layered, afresh), 0) << step.what << ": drawn afresh";
    }
}

// A list filled with its drawing held shows every new row once the tick is over.
TEST_F(PaintOnDemand, EventListShowsNewRowsAfterARefreshWithItsDrawingHeld)
{
    point(480, 230);  // the switch: EventList comes to the front
    tick();
    ASSERT_TRUE(IsWindowVisible(app.event_list));
    pump();
    Pixels before = window_pixels(window_);
    log_event("Новое событие для списка.");
    app.tick_phase = 2;  // a plain watch tick, which refreshes the visible EventList
    SendMessageA(window_, WM_TIMER, TIMER_WATCH_CYCLE, 0);
    pump();
    Pixels after = window_pixels(window_);
    EXPECT_GT(differences(after, before), 50) << "the new row is drawn";
    RedrawWindow(app.event_list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    pump();
    EXPECT_EQ(differences(after, window_pixels(window_)), 0) << "nothing was left undrawn";
}

// The watch tick refills a visible EventList every second. When that would change nothing the
// list is left alone, with nothing to redraw; a selection or a scrolled list is refilled still.
TEST_F(PaintOnDemand, EventListIsRefilledOnlyWhenThatChangesIt)
{
    auto watch_tick = [&] {
        app.tick_phase = 2;  // a plain tick
        SendMessageA(window_, WM_TIMER, TIMER_WATCH_CYCLE, 0);
    };
    point(480, 230);
    tick();
    pump();
    HWND list = app.event_list;
    ASSERT_TRUE(IsWindowVisible(list));
    watch_tick();
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE)) << "the same rows again: nothing to redraw";

    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, (LPARAM)&state);
    pump();
    watch_tick();
    EXPECT_EQ(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED), -1);

    for (int i = 0; i < EVENT_SLOTS; i++)
        log_event(("Событие " + std::to_string(i)).c_str());
    watch_tick();
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    ASSERT_EQ(rows, EVENT_SLOTS);
    SendMessageA(list, LVM_ENSUREVISIBLE, rows - 1, FALSE);
    ASSERT_GT(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 0);
    pump();
    watch_tick();
    EXPECT_TRUE(GetUpdateRect(list, nullptr, FALSE)) << "a scrolled list is refilled as always";
    SendMessageA(list, LVM_ENSUREVISIBLE, 0, FALSE);
    pump();
    watch_tick();
    pump();
    watch_tick();
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE));
}

// Every paint releases what it makes: over all the states a paint can show, the live GDI+
// objects stay those kept for the run (three bitmaps, the surface and the string format).
TEST_F(Painting, PaintsKeepOnlyTheObjectsMadeOnce)
{
    paint();
    int kept = live_count(RESOURCE_GDIPLUS);
    EXPECT_EQ(kept, 5);
    for (int monitoring : {0, 1})
        for (int phase : {0, 1, 2})
            for (int region : {0, 1, 3, 5, 11, 19}) {
                app.monitoring = monitoring;
                app.cycle_phase = phase;
                app.hover_region = region;
                app.hover_rect = RECT{100, 270, 160, 290};
                EXPECT_EQ(paint_main_window(window), 1);
                EXPECT_EQ(live_count(RESOURCE_GDIPLUS), kept)
                    << "monitoring " << monitoring << ", phase " << phase << ", region " << region;
            }
    EXPECT_EQ(live_count(RESOURCE_GDI), 0);
}
