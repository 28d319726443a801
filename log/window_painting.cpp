// Painting of the main window below its lists: hint strip, banner, bottom bar.
#include "log/window_painting.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "log/resource_counts.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

static const char BOTTOM_BAR_TEXT[] = "_?_   Деинст.  Восст.  У.Комп.  Оборуд.  Службы  Реестр  Дисп.  __";

enum { STRIP_WIDTH = 500, STRIP_HEIGHT = 31, HINT_STRIP_TOP = 170, BOTTOM_STRIP_TOP = 269 };
enum { SWITCH_REGION = 5, FIRST_BAR_REGION = 11 };
enum { BAR_TEXT_TOP = 276 };  // the top of the bottom-bar text box; its shadow starts lower

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

// Everything in AppState that a paint draws from; the bitmaps and the surface never change.
struct PaintInputs {
    int hover_region;
    RECT hover_rect;
    int monitoring;
    int cycle_phase;
    char hint_text[TEXT_SIZE];
    ClickRegion regions[CLICK_REGION_COUNT];
};

// The inputs of the last paint that reached the screen, while on_screen_paint_valid is 1.
static PaintInputs on_screen_inputs;
static int on_screen_paint_valid;
static long paint_count;

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

// The part of the background that never changes: both strips and the plain banner.
static void draw_fixed_background(GpGraphics *graphics, GpBitmap *bg_text, GpBitmap *bg1)
{
    if (bg_text) {
        draw_strip(graphics, bg_text, HINT_STRIP_TOP);
        draw_strip(graphics, bg_text, BOTTOM_STRIP_TOP);
    }
    if (bg1)
        draw_whole(graphics, bg1, 0, BANNER_TOP);
}

// The highlights, rings and underline that follow AppState.
static void draw_state(GpGraphics *graphics, GpBitmap *bg2)
{
    if (app.monitoring) {
        copy_highlight(graphics, bg2, SWITCH_REGION);
        draw_rings(graphics);
    }
    if (app.hover_region >= 1 && app.hover_region <= 4)
        copy_highlight(graphics, bg2, app.hover_region);
    if (app.hover_region >= FIRST_BAR_REGION)
        draw_underline(graphics);
}

int paint_background(GpGraphics *graphics, GpBitmap *bg_text, GpBitmap *bg1, GpBitmap *bg2)
{
    draw_fixed_background(graphics, bg_text, bg1);
    draw_state(graphics, bg2);
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

enum { HINT_TEXT = 1, BAR_TEXT = 2 };

// The hint line and/or the bottom-bar text with its shadow.
static void draw_texts(GpGraphics *graphics, int parts)
{
    GpFontFamily *family = nullptr;
    GpFont *hint_font = nullptr, *bar_font = nullptr;
    if (gdiplus_made(GdipCreateFontFamilyFromName(L"Arial", nullptr, &family)) == Ok) {
        gdiplus_made(GdipCreateFont(family, 16, FontStyleBold, UnitPixel, &hint_font));
        gdiplus_made(GdipCreateFont(family, 14, FontStyleBold, UnitPixel, &bar_font));
    }
    RectF hint_box(10, 176, 480, 40), bar_box(10, BAR_TEXT_TOP, 480, 40), shadow_box(11, BAR_TEXT_TOP + 2, 480, 40);
    GpStringFormat *format = centred_string_format();

    GpSolidFill *hint_brush = nullptr, *bar_brush = nullptr, *shadow_brush = nullptr;
    gdiplus_made(GdipCreateSolidFill(HINT_COLOUR, &hint_brush));
    gdiplus_made(GdipCreateSolidFill(BAR_COLOUR, &bar_brush));
    gdiplus_made(GdipCreateSolidFill(SHADOW_COLOUR, &shadow_brush));

    if (parts & HINT_TEXT)
        draw_text(graphics, app.hint_text, hint_font, hint_brush, hint_box, format);
    if (parts & BAR_TEXT) {
        draw_text(graphics, BOTTOM_BAR_TEXT, bar_font, shadow_brush, shadow_box, format);
        draw_text(graphics, BOTTOM_BAR_TEXT, bar_font, bar_brush, bar_box, format);
    }

    for (GpSolidFill *brush : {hint_brush, bar_brush, shadow_brush})
        if (brush)
            gdiplus_released(GdipDeleteBrush(brush));
    for (GpFont *font : {hint_font, bar_font})
        if (font)
            gdiplus_released(GdipDeleteFont(font));
    if (family)
        gdiplus_released(GdipDeleteFontFamily(family));
}

// Copies the surface's pixels to (save) or from (restore) a buffer of width x height x 4 bytes.
static bool transfer_surface_bits(BYTE *buffer, bool save)
{
    UINT width = 0, height = 0;
    GdipGetImageWidth(surface, &width);
    GdipGetImageHeight(surface, &height);
    GpRect all(0, 0, (INT)width, (INT)height);
    BitmapData locked = {};
    UINT mode = save ? ImageLockModeRead : ImageLockModeWrite;
    if (GdipBitmapLockBits(surface, &all, mode, PixelFormat32bppARGB, &locked) != Ok)
        return false;
    size_t row = (size_t)width * 4;
    for (UINT y = 0; y < height; y++) {
        BYTE *line = (BYTE *)locked.Scan0 + (size_t)y * locked.Stride;
        if (save)
            memcpy(buffer + y * row, line, row);
        else
            memcpy(line, buffer + y * row, row);
    }
    GdipBitmapUnlockBits(surface, &locked);
    return true;
}

// Every paint starts from the same drawing: the cleared surface with strips and banner, and
// mostly the bottom-bar text on top. Both are drawn once and kept as pixels: bringing them
// back is the same as drawing them again, and far cheaper.
static BYTE *plain_layer, *bar_layer;
static int layers_tried, layers_wanted = 1;

void set_painting_layers(int on)
{
    layers_wanted = on;
}

// Draws on the surface what lies beneath everything (parts 0) or the given texts over what is
// there, and keeps the result in layer.
static bool draw_layer(BYTE *layer, int parts)
{
    GpGraphics *graphics = nullptr;
    if (gdiplus_made(GdipGetImageGraphicsContext(surface, &graphics)) != Ok)
        return false;
    if (parts == 0) {
        GdipGraphicsClear(graphics, 0);
        draw_fixed_background(graphics, bg_text_bitmap, bg1_bitmap);
    } else {
        draw_texts(graphics, parts);
    }
    gdiplus_released(GdipDeleteGraphics(graphics));
    return transfer_surface_bits(layer, true);
}

// Makes both layers at the first paint; without them every paint draws everything.
static void make_layers_once()
{
    if (layers_tried)
        return;
    layers_tried = 1;
    UINT width = 0, height = 0;
    GdipGetImageWidth(surface, &width);
    GdipGetImageHeight(surface, &height);
    size_t size = (size_t)width * height * 4;
    plain_layer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size);
    bar_layer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size);
    if (plain_layer && bar_layer && draw_layer(plain_layer, 0) && draw_layer(bar_layer, BAR_TEXT))
        return;
    HeapFree(GetProcessHeap(), 0, plain_layer);
    HeapFree(GetProcessHeap(), 0, bar_layer);
    plain_layer = bar_layer = nullptr;
}

// Whether the state drawing keeps clear of the bottom-bar text, so that the text may lie
// underneath it: no underline, and every banner highlight above the text boxes.
static bool state_clear_of_bar_text()
{
    if (app.hover_region >= FIRST_BAR_REGION)
        return false;
    for (const ClickRegion &r : app.regions)
        if (r.number >= 1 && r.number <= 5 && r.source.bottom + BANNER_TOP > BAR_TEXT_TOP)
            return false;
    return true;
}

// Draws this paint on the surface. Drawing in layers changes no pixel: the hint, the state
// and the bar text each lie in their own rows.
static bool draw_surface()
{
    bool layered = plain_layer && layers_wanted;
    bool bar_below = layered && state_clear_of_bar_text();
    if (layered && !transfer_surface_bits(bar_below ? bar_layer : plain_layer, false))
        return false;
    GpGraphics *graphics = nullptr;
    if (gdiplus_made(GdipGetImageGraphicsContext(surface, &graphics)) != Ok)
        return false;
    if (!layered) {
        GdipGraphicsClear(graphics, 0);
        draw_fixed_background(graphics, bg_text_bitmap, bg1_bitmap);
    }
    draw_state(graphics, bg2_bitmap);
    draw_texts(graphics, bar_below ? HINT_TEXT : HINT_TEXT | BAR_TEXT);
    gdiplus_released(GdipDeleteGraphics(graphics));
    return true;
}

// 1 when every pixel of the row is opaque, 0 when every one is clear, -1 otherwise.
static int row_kind(const BYTE *line, UINT width)
{
    bool opaque = false, clear = false;
    for (UINT x = 0; x < width; x++) {
        BYTE alpha = line[x * 4 + 3];
        if (alpha == 255)
            opaque = true;
        else if (alpha == 0)
            clear = true;
        else
            return -1;
    }
    if (opaque && clear)
        return -1;
    return opaque ? 1 : 0;
}

// The rows [top, bottom) of a surface that is fully opaque there and fully clear elsewhere.
static bool find_opaque_band(const BitmapData &bits, int *top, int *bottom)
{
    *top = *bottom = -1;
    for (UINT y = 0; y < bits.Height; y++) {
        int kind = row_kind((const BYTE *)bits.Scan0 + (size_t)y * bits.Stride, bits.Width);
        if (kind < 0)
            return false;
        if (kind == 0)
            continue;
        if (*top < 0)
            *top = (int)y;
        else if (*bottom != (int)y)
            return false;  // a second band
        *bottom = (int)y + 1;
    }
    return *top >= 0;
}

// Copying an opaque band's rows as they are shows the same pixels as blending the whole
// surface over the window: opaque pixels replace, clear ones leave the window as it is.
static bool copy_opaque_band(HWND window)
{
    UINT width = 0, height = 0;
    GdipGetImageWidth(surface, &width);
    GdipGetImageHeight(surface, &height);
    GpRect all(0, 0, (INT)width, (INT)height);
    BitmapData bits = {};
    if (GdipBitmapLockBits(surface, &all, ImageLockModeRead, PixelFormat32bppARGB, &bits) != Ok)
        return false;
    int top = 0, bottom = 0;
    bool copied = false;
    HDC screen = nullptr;
    if (bits.Stride > 0 && find_opaque_band(bits, &top, &bottom) && (screen = GetDC(window)) != nullptr) {
        count_made(RESOURCE_GDI);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = (LONG)bits.Stride / 4;
        info.bmiHeader.biHeight = -(bottom - top);  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        const BYTE *first = (const BYTE *)bits.Scan0 + (size_t)top * bits.Stride;
        copied = SetDIBitsToDevice(screen, 0, top, width, (DWORD)(bottom - top), 0, 0, 0, (UINT)(bottom - top), first,
                                   &info, DIB_RGB_COLORS) != 0;
        if (ReleaseDC(window, screen))
            count_released(RESOURCE_GDI);
    }
    GdipBitmapUnlockBits(surface, &bits);
    return copied;
}

// The one copy to the screen: a paint never shows a half-drawn state. 1 when it was made.
static int show_surface(HWND window)
{
    if (copy_opaque_band(window))
        return 1;
    GpGraphics *screen = nullptr;
    if (gdiplus_made(GdipCreateFromHWND(window, &screen)) != Ok)
        return 0;
    UINT surface_width = 0, surface_height = 0;
    GdipGetImageWidth(surface, &surface_width);
    GdipGetImageHeight(surface, &surface_height);
    GdipDrawImageRectI(screen, surface, 0, 0, (INT)surface_width, (INT)surface_height);
    gdiplus_released(GdipDeleteGraphics(screen));
    return 1;
}

// The inputs as they stand now; zero-filled first, so that two records compare byte for byte.
static void capture_inputs(PaintInputs *inputs)
{
    memset(inputs, 0, sizeof *inputs);
    inputs->hover_region = app.hover_region;
    inputs->hover_rect = app.hover_rect;
    inputs->monitoring = app.monitoring;
    inputs->cycle_phase = app.cycle_phase;
    // The paint draws at most TEXT_SIZE - 1 characters of the hint; the copy keeps as many.
    text_copy(inputs->hint_text, app.hint_text);
    memcpy(inputs->regions, app.regions, sizeof inputs->regions);
}

// Hidden and minimised windows show nothing, so nothing painted on them counts as shown.
static bool on_screen(HWND window)
{
    return IsWindowVisible(window) && !IsIconic(window);
}

void forget_last_paint()
{
    on_screen_paint_valid = 0;
}

long paints_drawn()
{
    return paint_count;
}

int paint_main_window_when_changed(HWND window)
{
    if (!on_screen(window)) {
        on_screen_paint_valid = 0;
        return 0;
    }
    if (on_screen_paint_valid) {
        PaintInputs now;
        capture_inputs(&now);
        if (memcmp(&now, &on_screen_inputs, sizeof now) == 0)
            return 0;
    }
    paint_main_window(window);
    return 1;
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
    on_screen_paint_valid = 0;
    if (!surface)
        return 1;
    make_layers_once();

    // What shows follows from AppState alone, never from an earlier paint.
    if (!draw_surface())
        return 1;
    paint_count++;
    if (show_surface(window) && on_screen(window)) {
        capture_inputs(&on_screen_inputs);
        on_screen_paint_valid = 1;
    }
    return 1;
}
