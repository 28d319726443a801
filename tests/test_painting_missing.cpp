// Painting when the bitmaps cannot be loaded: the rest is drawn, nothing crashes, and the
// loads are not tried again. Its own program, because the loads happen once per process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "log/window_painting.h"
#include "test_support.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

static ARGB pixel(GpBitmap *bitmap, int x, int y)
{
    ARGB colour = 0;
    GdipBitmapGetPixel(bitmap, x, y, &colour);
    return colour;
}

// Number of pixels in a band of rows that something was drawn on.
static int drawn_pixels(GpBitmap *bitmap, int top, int bottom)
{
    int n = 0;
    for (int y = top; y < bottom; y++)
        for (int x = 0; x < 500; x++)
            n += (pixel(bitmap, x, y) >> 24) != 0;
    return n;
}

TEST(PaintingWithoutBitmaps, GoesOnWithoutThemAndNeverRetries)
{
    GdiplusStartupInput input;
    ULONG_PTR token;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    ASSERT_EQ(init_app_state(), 1);
    // This test program has no bitmap named bg1, bg2 or bg_text among its resources.
    app.instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = app.instance;
    window_class.lpszClassName = "KxMissingBitmaps";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "KxMissingBitmaps", "missing", WS_OVERLAPPED | WS_CAPTION, 0, 0, 500, 330,
                                  nullptr, nullptr, app.instance, nullptr);
    ASSERT_NE(window, nullptr);

    app.monitoring = 1;
    app.cycle_phase = 0;
    app.hover_region = 2;
    text_copy(app.hint_text, "Подсказка без картинок");
    EXPECT_EQ(paint_main_window(window), 1);
    GpBitmap *surface = painting_surface();
    ASSERT_NE(surface, nullptr);
    EXPECT_GT(drawn_pixels(surface, 176, 200), 50) << "the hint line is drawn all the same";
    EXPECT_GT(drawn_pixels(surface, 276, 300), 50) << "and the bottom bar";
    EXPECT_EQ(pixel(surface, 120, 230) >> 24, 0u) << "no banner, no highlight";
    EXPECT_NE(pixel(surface, 474, 255) >> 24, 0u) << "the rings need no bitmap";

    // The resources are there now, but a failed load is not tried again.
    app.instance = kestrix_resources();
    ASSERT_NE(app.instance, nullptr);
    EXPECT_EQ(paint_main_window(window), 1);
    EXPECT_EQ(painting_surface(), surface);
    EXPECT_EQ(pixel(surface, 120, 230) >> 24, 0u);
    EXPECT_EQ(pixel(surface, 40, 185) >> 24, 0u) << "no strip texture either";

    // paint_background on its own with no bitmaps at all.
    GpBitmap *memory = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(500, 330, 0, PixelFormat32bppARGB, nullptr, &memory), Ok);
    GpGraphics *graphics = nullptr;
    GdipGetImageGraphicsContext(memory, &graphics);
    app.hover_region = 14;
    app.hover_rect = RECT{164, 273, 225, 292};
    EXPECT_EQ(paint_background(graphics, nullptr, nullptr, nullptr), 1);
    GdipDeleteGraphics(graphics);
    EXPECT_NE(pixel(memory, 190, 292) >> 24, 0u) << "underline";
    EXPECT_EQ(pixel(memory, 40, 185) >> 24, 0u);
    GdipDisposeImage(memory);
    DestroyWindow(window);
}
