// Painting of the main window below its lists: hint strip, banner, bottom bar.
#include "log/window_painting.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "app/app_state.h"
#include "log/resource_counts.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

static const char BOTTOM_BAR_TEXT[] = "_?_   Деинст.  Восст.  У.Комп.  Оборуд.  Службы  Реестр  Дисп.  __";

enum { STRIP_WIDTH = 500, STRIP_HEIGHT = 31, HINT_STRIP_TOP = 170, BOTTOM_STRIP_TOP = 269 };
enum { SWITCH_REGION = 5, FIRST_BAR_REGION = 11 };

// Colours as alpha, red, green, blue.
static const ARGB HINT_COLOUR = 0xDCFFFFFF;
static const ARGB BAR_COLOUR = 0x78FFFFFF;
static const ARGB SHADOW_COLOUR = 0x78000000;
static const ARGB UNDERLINE_COLOUR = 0x4B000000;
static const ARGB RING_COLOUR = 0x96000000;

// Made once, at the first paint, and kept for the whole run. Each flag is set before its
// attempt, so a load that failed is never tried again.
static GpBitmap *bg1_bitmap, *bg2_bitmap, *bg_text_bitmap, *surface;
static GpStringFormat *centred_format;
static int bg1_tried, bg2_tried, bg_text_tried, surface_tried, format_tried;

// The surface of the paints, for whoever needs to read what was drawn.
GpBitmap *painting_surface()
{
    return surface;
}

// Loads a bitmap resource of the program once per run; nullptr stays when it cannot be loaded.
static void load_bitmap_once(int &tried, GpBitmap *&bitmap, const WCHAR *name)
{
    if (tried)
        return;
    tried = 1;
    if (gdiplus_made(GdipCreateBitmapFromResource(app.instance, name, &bitmap)) != Ok)
        bitmap = nullptr;
}

// Makes the 32-bit ARGB drawing surface of the window's size once per run.
static void make_surface_once(int width, int height)
{
    if (surface_tried)
        return;
    surface_tried = 1;
    GpBitmap *blank = nullptr;
    if (gdiplus_made(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &blank)) != Ok)
        return;
    PixelFormat format = PixelFormat32bppARGB;
    GdipGetImagePixelFormat(blank, &format);
    if (gdiplus_made(GdipCloneBitmapAreaI(0, 0, width, height, format, blank, &surface)) != Ok)
        surface = nullptr;
    gdiplus_released(GdipDisposeImage(blank));
}

// Runs at process exit.
static void release_string_format()
{
    gdiplus_released(GdipDeleteStringFormat(centred_format));
}

// The string format is made once and released when the process ends.
static GpStringFormat *centred_string_format()
{
    if (!format_tried) {
        format_tried = 1;
        if (gdiplus_made(GdipCreateStringFormat(0, LANG_NEUTRAL, &centred_format)) == Ok)
            atexit(release_string_format);
        else
            centred_format = nullptr;
    }
    if (centred_format)
        GdipSetStringFormatAlign(centred_format, StringAlignmentCenter);
    return centred_format;
}

// The banner rectangle of a button region (1 to 5), in bitmap coordinates.
static const RECT *banner_source(int region)
{
    for (const ClickRegion &r : app.regions)
        if (r.number == region)
            return &r.source;
    return nullptr;
}

// Draws the part of "bg2" under a button region over the banner, pixel for pixel.
static void copy_highlight(GpGraphics *graphics, GpBitmap *bg2, int region)
{
    const RECT *source = banner_source(region);
    if (!bg2 || !source)
        return;
    int width = source->right - source->left;
    int height = source->bottom - source->top;
    if (width <= 0 || height <= 0)
        return;
    // Explicit pixel sizes on both sides: the copy never scales, whatever the resolutions.
    GdipDrawImageRectRectI(graphics, bg2, source->left, source->top + BANNER_TOP, width, height, source->left,
                           source->top, width, height, UnitPixel, nullptr, nullptr, nullptr);
}

// Draws a bitmap at its own pixel size.
static void draw_whole(GpGraphics *graphics, GpBitmap *bitmap, int x, int y)
{
    UINT width = 0, height = 0;
    GdipGetImageWidth(bitmap, &width);
    GdipGetImageHeight(bitmap, &height);
    GdipDrawImageRectI(graphics, bitmap, x, y, (INT)width, (INT)height);
}

// Draws "bg_text" stretched into one text strip; the edges repeat the picture instead of
// fading into transparency, so the strip is opaque to its last row.
static void draw_strip(GpGraphics *graphics, GpBitmap *bg_text, int top)
{
    UINT width = 0, height = 0;
    GdipGetImageWidth(bg_text, &width);
    GdipGetImageHeight(bg_text, &height);
    GpImageAttributes *attributes = nullptr;
    if (gdiplus_made(GdipCreateImageAttributes(&attributes)) == Ok)
        GdipSetImageAttributesWrapMode(attributes, WrapModeTileFlipXY, 0, FALSE);
    GdipDrawImageRectRectI(graphics, bg_text, 0, top, STRIP_WIDTH, STRIP_HEIGHT, 0, 0, (INT)width, (INT)height,
                           UnitPixel, attributes, nullptr, nullptr);
    if (attributes)
        gdiplus_released(GdipDisposeImageAttributes(attributes));
}

// The rings over the activity dots: the dot of the work the last tick did stays bare.
static void draw_rings(GpGraphics *graphics)
{
    GpPen *pen = nullptr;
    if (gdiplus_made(GdipCreatePen1(RING_COLOUR, 4, UnitWorld, &pen)) != Ok)
        return;
    if (app.cycle_phase != 1)
        GdipDrawEllipseI(graphics, pen, 472, 256, 5, 5);
    if (app.cycle_phase != 2)
        GdipDrawEllipseI(graphics, pen, 483, 256, 5, 5);
    gdiplus_released(GdipDeletePen(pen));
}

// Underlines the hovered bottom-bar item along the bottom edge of its rectangle.
static void draw_underline(GpGraphics *graphics)
{
    GpPen *pen = nullptr;
    if (gdiplus_made(GdipCreatePen1(UNDERLINE_COLOUR, 3, UnitWorld, &pen)) != Ok)
        return;
    const RECT &r = app.hover_rect;
    GdipDrawLineI(graphics, pen, r.left + 4, r.bottom, r.right - 4, r.bottom);
    gdiplus_released(GdipDeletePen(pen));
}

int paint_background(GpGraphics *graphics, GpBitmap *bg_text, GpBitmap *bg1, GpBitmap *bg2)
{
    if (bg_text) {
        draw_strip(graphics, bg_text, HINT_STRIP_TOP);
        draw_strip(graphics, bg_text, BOTTOM_STRIP_TOP);
    }
    if (bg1)
        draw_whole(graphics, bg1, 0, BANNER_TOP);
    if (app.monitoring) {
        copy_highlight(graphics, bg2, SWITCH_REGION);
        draw_rings(graphics);
    }
    if (app.hover_region >= 1 && app.hover_region <= 4)
        copy_highlight(graphics, bg2, app.hover_region);
    if (app.hover_region >= FIRST_BAR_REGION)
        draw_underline(graphics);
    return 1;
}

// Draws a code page 1251 text centred in a box, wrapping inside it.
static void draw_text(GpGraphics *graphics, const char *text, GpFont *font, GpBrush *brush, RectF box,
                      GpStringFormat *format)
{
    WCHAR wide[TEXT_SIZE];
    int length = (int)strnlen(text, TEXT_SIZE - 1);
    if (length == 0 || !font || !brush)
        return;
    int converted = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, length, wide, TEXT_SIZE - 1);
    if (converted <= 0)
        return;
    wide[converted] = L'\0';
    // Lines that wrap past the box's bottom are cut there; not every GDI+ clips text on its own.
    GdipSetClipRect(graphics, box.X, box.Y, box.Width, box.Height, CombineModeReplace);
    GdipDrawString(graphics, wide, converted, font, &box, format, brush);
    GdipResetClip(graphics);
}

// The hint line and the bottom-bar text with its shadow.
static void draw_texts(GpGraphics *graphics)
{
    GpFontFamily *family = nullptr;
    GpFont *hint_font = nullptr, *bar_font = nullptr;
    if (gdiplus_made(GdipCreateFontFamilyFromName(L"Arial", nullptr, &family)) == Ok) {
        gdiplus_made(GdipCreateFont(family, 16, FontStyleBold, UnitPixel, &hint_font));
        gdiplus_made(GdipCreateFont(family, 14, FontStyleBold, UnitPixel, &bar_font));
    }
    RectF hint_box(10, 176, 480, 40), bar_box(10, 276, 480, 40), shadow_box(11, 278, 480, 40);
    GpStringFormat *format = centred_string_format();

    GpSolidFill *hint_brush = nullptr, *bar_brush = nullptr, *shadow_brush = nullptr;
    gdiplus_made(GdipCreateSolidFill(HINT_COLOUR, &hint_brush));
    gdiplus_made(GdipCreateSolidFill(BAR_COLOUR, &bar_brush));
    gdiplus_made(GdipCreateSolidFill(SHADOW_COLOUR, &shadow_brush));

    draw_text(graphics, app.hint_text, hint_font, hint_brush, hint_box, format);
    draw_text(graphics, BOTTOM_BAR_TEXT, bar_font, shadow_brush, shadow_box, format);
    draw_text(graphics, BOTTOM_BAR_TEXT, bar_font, bar_brush, bar_box, format);

    for (GpSolidFill *brush : {hint_brush, bar_brush, shadow_brush})
        if (brush)
            gdiplus_released(GdipDeleteBrush(brush));
    for (GpFont *font : {hint_font, bar_font})
        if (font)
            gdiplus_released(GdipDeleteFont(font));
    if (family)
        gdiplus_released(GdipDeleteFontFamily(family));
}

int paint_main_window(HWND window)
{
    RECT outer;
    if (!GetWindowRect(window, &outer))
        return 0;
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;

    load_bitmap_once(bg1_tried, bg1_bitmap, L"bg1");
    load_bitmap_once(bg2_tried, bg2_bitmap, L"bg2");
    load_bitmap_once(bg_text_tried, bg_text_bitmap, L"bg_text");
    make_surface_once(width, height);
    if (!surface)
        return 1;

    GpGraphics *graphics = nullptr;
    if (gdiplus_made(GdipGetImageGraphicsContext(surface, &graphics)) != Ok)
        return 1;
    // What shows follows from AppState alone, never from an earlier paint.
    GdipGraphicsClear(graphics, 0);
    paint_background(graphics, bg_text_bitmap, bg1_bitmap, bg2_bitmap);
    draw_texts(graphics);
    gdiplus_released(GdipDeleteGraphics(graphics));

    // The one copy to the screen: a paint never shows a half-drawn state.
    GpGraphics *screen = nullptr;
    if (gdiplus_made(GdipCreateFromHWND(window, &screen)) == Ok) {
        UINT surface_width = 0, surface_height = 0;
        GdipGetImageWidth(surface, &surface_width);
        GdipGetImageHeight(surface, &surface_height);
        GdipDrawImageRectI(screen, surface, 0, 0, (INT)surface_width, (INT)surface_height);
        gdiplus_released(GdipDeleteGraphics(screen));
    }
    return 1;
}
