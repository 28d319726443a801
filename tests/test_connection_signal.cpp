// The connection signal: which ticks act, the sound request, and the strip drawn on
// and wiped from the real screen, read back pixel by pixel.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "log/connection_signal.h"
#include "test_support.h"

namespace gdip = Gdiplus::DllExports;


struct GdiplusRun : ::testing::Environment {
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&app.gdiplus_token, &input, nullptr), Gdiplus::Ok);
    }
};
static ::testing::Environment *const gdiplus_run = ::testing::AddGlobalTestEnvironment(new GdiplusRun);

// Every sound request the signal makes.
struct SoundRequest {
    LPCSTR name;
    HMODULE module;
    DWORD flags;
};
static std::vector<SoundRequest> sound_requests;

static BOOL WINAPI record_sound(LPCSTR name, HMODULE module, DWORD flags)
{
    sound_requests.push_back({name, module, flags});
    return TRUE;
}

// A topmost window over the whole screen in one plain colour: the ground the strip is drawn on.
static const COLORREF GROUND = RGB(0, 255, 0);
static int ground_paints;

static LRESULT CALLBACK ground_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        HBRUSH brush = CreateSolidBrush(GROUND);
        FillRect(dc, &paint.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(window, &paint);
        ground_paints++;
        return 0;
    }
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcA(window, message, wparam, lparam);
}

// Handles every pending message for a while, so that repaints reach the screen.
static void pump_messages(DWORD milliseconds = 300)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

static RECT desktop_rect()
{
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    return desktop;
}

// The colours of a screen rectangle, row by row, as 0x00RRGGBB.
static std::vector<DWORD> screen_pixels(const RECT &area)
{
    int width = area.right - area.left, height = area.bottom - area.top;
    std::vector<DWORD> pixels((size_t)width * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const DWORD *source = (const DWORD *)bits;
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = source[i] & 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The pixels of one of the program's bitmap resources as 0x00RRGGBB, or empty when it is missing.
struct Picture {
    UINT width = 0, height = 0;
    std::vector<DWORD> pixels;
};

static Picture resource_picture(HMODULE module, const WCHAR *name)
{
    Picture picture;
    Gdiplus::GpBitmap *bitmap = nullptr;
    if (gdip::GdipCreateBitmapFromResource(module, name, &bitmap) != Gdiplus::Ok)
        return picture;
    gdip::GdipGetImageWidth(bitmap, &picture.width);
    gdip::GdipGetImageHeight(bitmap, &picture.height);
    for (UINT y = 0; y < picture.height; y++)
        for (UINT x = 0; x < picture.width; x++) {
            Gdiplus::ARGB argb = 0;
            gdip::GdipBitmapGetPixel(bitmap, (INT)x, (INT)y, &argb);
            picture.pixels.push_back(argb & 0xFFFFFF);
        }
    gdip::GdipDisposeImage(bitmap);
    return picture;
}

static DWORD ground_rgb() { return (GetRValue(GROUND) << 16) | (GetGValue(GROUND) << 8) | GetBValue(GROUND); }

// When the screenshot scenario runs this program, it photographs the screen at each
// named moment: the test leaves a ".ready" file and waits for the ".done" answer.
static void pause_for_screenshot(const char *moment)
{
    const char *folder = getenv("KX_SIGNAL_SHOTS");
    if (!folder)
        return;
    std::string ready = std::string(folder) + "\\" + moment + ".ready";
    std::string done = std::string(folder) + "\\" + moment + ".done";
    HANDLE file = CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    for (int waited = 0; waited < 300 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; waited++)
        Sleep(100);
    EXPECT_NE(GetFileAttributesA(done.c_str()), INVALID_FILE_ATTRIBUTES) << "no screenshot of " << moment;
}

class Signal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(kestrix_exe_path().empty()) << "KX_EXE is not set";
        ASSERT_NE(kestrix_resources(), nullptr) << kestrix_exe_path();
        red = resource_picture(kestrix_resources(), L"TIT_FLESHKA");
        grey = resource_picture(kestrix_resources(), L"TIT_FLESHKA_2");
        ASSERT_EQ(red.width, 40u);
        ASSERT_EQ(red.height, 240u);
        ASSERT_EQ(grey.width, 40u);
        ASSERT_EQ(grey.height, 240u);
        ASSERT_NE(red.pixels, grey.pixels);

        app.instance = kestrix_resources();
        unload_strip_pictures();
        app.signal_on = 1;
        text_copy(app.flash_root, "E:\\");
        signal_counter = strip_phase = strip_erased = 0;
        sound_requests.clear();
        seam_play_sound = record_sound;
        open_ground();
    }

    void TearDown() override
    {
        if (ground)
            DestroyWindow(ground);
        pump_messages(100);
        reset_seams();
    }

    void open_ground()
    {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = ground_procedure;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "kxSignalGround";
        RegisterClassA(&window_class);
        RECT desktop = desktop_rect();
        ground = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "kxSignalGround", "", WS_POPUP | WS_VISIBLE,
                                 desktop.left, desktop.top, desktop.right - desktop.left,
                                 desktop.bottom - desktop.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(ground, nullptr) << "no window: is there a DISPLAY?";
        pump_messages(500);
        ground_paints = 0;
    }

    // Where the strip must lie: flush with the right edge, centred vertically.
    RECT strip_rect()
    {
        RECT desktop = desktop_rect();
        return {desktop.right - 40, desktop.bottom / 2 - 120, desktop.right, desktop.bottom / 2 + 120};
    }

    // Checks the screen: the strip's place shows the picture (or the ground when it is null),
    // and a band of two pixels left, above and below it shows the ground.
    void expect_screen(const Picture *picture, const char *what)
    {
        RECT strip = strip_rect();
        RECT area = {strip.left - 2, strip.top - 2, strip.right, strip.bottom + 2};
        std::vector<DWORD> pixels = screen_pixels(area);
        int width = area.right - area.left, wrong = 0, first_x = -1, first_y = -1;
        DWORD first_seen = 0, first_wanted = 0;
        for (int y = area.top; y < area.bottom; y++)
            for (int x = area.left; x < area.right; x++) {
                bool inside = x >= strip.left && y >= strip.top && y < strip.bottom;
                DWORD wanted = ground_rgb();
                if (inside && picture)
                    wanted = picture->pixels[(size_t)(y - strip.top) * 40 + (x - strip.left)];
                DWORD seen = pixels[(size_t)(y - area.top) * width + (x - area.left)];
                if (seen != wanted && wrong++ == 0) {
                    first_x = x, first_y = y, first_seen = seen, first_wanted = wanted;
                }
            }
        EXPECT_EQ(wrong, 0) << what << ": first wrong pixel at " << first_x << "," << first_y << " shows " << std::hex
                            << first_seen << " instead of " << first_wanted;
    }

    HWND ground = nullptr;
    Picture red, grey;
};

TEST_F(Signal, EverySecondTickSoundsAndDrawsRedThenGrey)
{
    struct Tick {
        int result, counter, phase;
        size_t sounds;
        const Picture *shown;
    } ticks[] = {
        {1, 1, 1, 1, &red}, {0, 0, 1, 1, &red}, {1, 1, 0, 2, &grey},
        {0, 0, 0, 2, &grey}, {1, 1, 1, 3, &red}, {0, 0, 1, 3, &red},
    };
    int call = 0;
    for (const Tick &tick : ticks) {
        call++;
        EXPECT_EQ(signal_tick(), tick.result) << "call " << call;
        EXPECT_EQ(signal_counter, tick.counter) << "call " << call;
        EXPECT_EQ(strip_phase, tick.phase) << "call " << call;
        EXPECT_EQ(strip_erased, 0) << "call " << call;
        EXPECT_EQ(sound_requests.size(), tick.sounds) << "call " << call;
        expect_screen(tick.shown, ("call " + std::to_string(call)).c_str());
    }
    for (const SoundRequest &request : sound_requests) {
        EXPECT_EQ(request.name, MAKEINTRESOURCEA(IDW_CONNECT_SOUND));
        EXPECT_EQ(request.module, kestrix_resources());
        EXPECT_EQ(request.flags, (DWORD)(SND_RESOURCE | SND_ASYNC | SND_NODEFAULT));
    }
    EXPECT_NE(FindResourceA(kestrix_resources(), MAKEINTRESOURCEA(IDW_CONNECT_SOUND), "WAVE"), nullptr);
}

TEST_F(Signal, SwitchedOffChangesNothing)
{
    app.signal_on = 0;
    for (int phase : {0, 1}) {
        for (int counter : {0, 1}) {
            signal_counter = counter;
            strip_phase = phase;
            EXPECT_EQ(signal_tick(), 0);
            EXPECT_EQ(signal_counter, counter);
            EXPECT_EQ(strip_phase, phase);
        }
    }
    app.flash_root[0] = '\0';  // not even a wipe
    EXPECT_EQ(signal_tick(), 0);
    EXPECT_EQ(strip_erased, 0);
    pump_messages();
    EXPECT_EQ(ground_paints, 0);
    EXPECT_TRUE(sound_requests.empty());
    expect_screen(nullptr, "signal off");
}

TEST_F(Signal, DriveGoneWipesOnceThenRestartsWithRed)
{
    EXPECT_EQ(signal_tick(), 1);
    EXPECT_EQ(signal_tick(), 0);
    EXPECT_EQ(signal_tick(), 1);  // grey now
    expect_screen(&grey, "grey before the drive goes");

    app.flash_root[0] = '\0';
    EXPECT_EQ(signal_tick(), 0);  // not an acting call: the wipe waits
    pump_messages();
    EXPECT_EQ(ground_paints, 0);
    EXPECT_EQ(signal_tick(), 0);
    EXPECT_EQ(strip_erased, 1);
    EXPECT_EQ(strip_phase, 0);
    pump_messages();
    EXPECT_EQ(ground_paints, 1) << "the wipe is one repaint of what lies under the strip";
    expect_screen(nullptr, "wiped");

    for (int call = 0; call < 5; call++)
        EXPECT_EQ(signal_tick(), 0);
    pump_messages();
    EXPECT_EQ(ground_paints, 1) << "later ticks wipe nothing again";
    EXPECT_EQ(sound_requests.size(), 2u);

    text_copy(app.flash_root, "F:\\");
    EXPECT_EQ(signal_tick(), 1);
    EXPECT_EQ(strip_phase, 1);
    expect_screen(&red, "first drawing after the wipe");
}

TEST_F(Signal, StripSitsAtTheRightEdgeAndWipesAway)
{
    RECT desktop = desktop_rect();
    RECT strip = strip_rect();
    std::printf("screen %ldx%ld, strip x %ld..%ld, y %ld..%ld\n", desktop.right, desktop.bottom, strip.left,
                strip.right - 1, strip.top, strip.bottom - 1);
    if (desktop.right == 1920 && desktop.bottom == 1080) {
        EXPECT_EQ(strip.left, 1880);
        EXPECT_EQ(strip.top, 420);
        EXPECT_EQ(strip.bottom - 1, 659);
    }
    pause_for_screenshot("ground");
    EXPECT_EQ(title_strip(1), 1);
    expect_screen(&red, "red");
    pause_for_screenshot("red");
    EXPECT_EQ(title_strip(1), 1);
    expect_screen(&grey, "grey");
    pause_for_screenshot("grey");
    EXPECT_EQ(title_strip(0), 1);
    pump_messages();
    expect_screen(nullptr, "wiped");
    pause_for_screenshot("wiped");
    EXPECT_EQ(title_strip(0), 0);
}

// Highest GDI handle slot in use: a batch of new brushes lands past every slot held.
static int gdi_high_water()
{
    HBRUSH brushes[512];
    int high = 0;
    for (int i = 0; i < 512; i++) {
        brushes[i] = CreateSolidBrush(RGB(i, 0, 0));
        high = std::max(high, (int)((UINT_PTR)brushes[i] & 0xFFFF));
    }
    for (HBRUSH brush : brushes)
        DeleteObject(brush);
    return high;
}

// Bytes in use in every heap of the process.
static size_t heap_bytes()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < count && i < 64; i++) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

TEST_F(Signal, MissingPicturesDrawNothingAndAreNotRetried)
{
    app.instance = GetModuleHandleA(nullptr);  // a module without the pictures
    EXPECT_EQ(signal_tick(), 1);
    EXPECT_EQ(sound_requests.size(), 1u) << "the sound plays without the pictures";
    expect_screen(nullptr, "no pictures");
    EXPECT_EQ(title_strip(0), 1);

    app.instance = kestrix_resources();
    EXPECT_EQ(title_strip(1), 1);
    expect_screen(nullptr, "a failed load is not tried again");
    unload_strip_pictures();
    EXPECT_EQ(title_strip(1), 1);
    EXPECT_EQ(strip_phase, 0) << "each drawing turns the phase, shown or not";
    expect_screen(&grey, "loaded again after unloading");
}

TEST_F(Signal, DrawingAndWipingKeepNoObjects)
{
    for (HMODULE module : {GetModuleHandleA(nullptr), kestrix_resources()}) {
        app.instance = module;
        unload_strip_pictures();
        title_strip(1);
        title_strip(0);
        pump_messages(100);
        int gdi_before = gdi_high_water();
        size_t heap_before = heap_bytes();
        for (int cycle = 0; cycle < 300; cycle++) {
            title_strip(1);
            title_strip(1);
            title_strip(0);
        }
        pump_messages(100);
        int gdi_after = gdi_high_water();
        size_t heap_after = heap_bytes();
        std::printf("GDI slots %d -> %d, heap bytes %zu -> %zu\n", gdi_before, gdi_after, heap_before, heap_after);
        EXPECT_LT(gdi_after - gdi_before, 100);
        EXPECT_LT(heap_after, heap_before + 30000);
    }
}
