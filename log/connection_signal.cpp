// The connection signal: a sound and a strip drawn straight on the screen, flush with
// its right edge and centred vertically, alternating a red and a grey picture.
#include <windows.h>
#include <mmsystem.h>
#include <gdiplus.h>

#include "log/connection_signal.h"
#include "app/app_state.h"
#include "app/ids.h"
#include "common/seams.h"
#include "log/resource_counts.h"

namespace gdip = Gdiplus::DllExports;
using Gdiplus::GpBitmap;

int signal_counter = 0;
int strip_phase = 0;
int strip_erased = 0;

// The two pictures, loaded on first use and kept for the run; a failed load is not retried.
static GpBitmap *red_picture;
static GpBitmap *grey_picture;
static int red_tried;
static int grey_tried;

// One picture from the program's resources, loaded at most once per run.
static GpBitmap *strip_picture(GpBitmap **picture, int *tried, const WCHAR *name)
{
    if (!*tried) {
        *tried = 1;
        GpBitmap *loaded = nullptr;
        if (gdiplus_made(gdip::GdipCreateBitmapFromResource(app.instance, name, &loaded)) == Gdiplus::Ok)
            *picture = loaded;
    }
    return *picture;
}

void unload_strip_pictures()
{
    if (red_picture)
        gdiplus_released(gdip::GdipDisposeImage(red_picture));
    if (grey_picture)
        gdiplus_released(gdip::GdipDisposeImage(grey_picture));
    red_picture = grey_picture = nullptr;
    red_tried = grey_tried = 0;
}

// Where the strip lies on the screen: the red picture's size (zero when it is missing)
// at the desktop's right edge, centred vertically. Also gives the desktop's right edge.
static RECT strip_place(int *desktop_right)
{
    UINT width = 0, height = 0;
    if (red_picture) {
        gdip::GdipGetImageWidth(red_picture, &width);
        gdip::GdipGetImageHeight(red_picture, &height);
    }
    RECT desktop = {0, 0, 0, 0};
    GetWindowRect(GetDesktopWindow(), &desktop);
    RECT place;
    place.left = desktop.right - (int)width;
    place.top = desktop.bottom / 2 - (int)height / 2;
    place.right = place.left + (int)width;
    place.bottom = place.top + (int)height;
    *desktop_right = desktop.right;
    return place;
}

// Draws one picture on the screen at the given point, pixel for pixel; the graphics
// object lives for this call only.
static void draw_on_screen(HDC screen, GpBitmap *picture, int x, int y)
{
    if (!picture)
        return;
    Gdiplus::GpGraphics *graphics = nullptr;
    if (gdiplus_made(gdip::GdipCreateFromHDC(screen, &graphics)) != Gdiplus::Ok)
        return;
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(picture, &width);
    gdip::GdipGetImageHeight(picture, &height);
    // Given in pixels, the size stays 40 x 240 whatever the screen's DPI and the picture's.
    gdip::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeNearestNeighbor);
    gdip::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
    gdip::GdipDrawImageRectI(graphics, picture, x, y, (INT)width, (INT)height);
    gdiplus_released(gdip::GdipDeleteGraphics(graphics));
}

int title_strip(int show)
{
    if (show == 1)
        strip_erased = 0;
    if (strip_erased == 1)
        return 0;
    strip_phase++;
    if (strip_phase > 1)
        strip_phase = 0;

    strip_picture(&red_picture, &red_tried, L"TIT_FLESHKA");
    strip_picture(&grey_picture, &grey_tried, L"TIT_FLESHKA_2");
    int desktop_right = 0;
    RECT place = strip_place(&desktop_right);

    if (show == 0) {
        // The strip is no window of its own: whatever lies under it repaints that area.
        RECT wiped = {place.left, place.top, desktop_right, place.bottom};
        InvalidateRect(nullptr, &wiped, TRUE);
        strip_erased = 1;
        strip_phase = 0;
        return 1;
    }
    HDC screen = GetDC(nullptr);
    if (!screen)
        return 0;
    count_made(RESOURCE_GDI);
    draw_on_screen(screen, strip_phase == 1 ? red_picture : grey_picture, place.left, place.top);
    if (ReleaseDC(nullptr, screen))
        count_released(RESOURCE_GDI);
    return 1;
}

int signal_tick()
{
    if (app.signal_on == 0)
        return 0;
    signal_counter++;
    if (signal_counter > 1) {
        signal_counter = 0;
        return 0;
    }
    if (app.flash_root[0] == '\0') {
        title_strip(0);
        return 0;
    }
    // No default sound: a missing sound resource leaves the signal silent.
    seam_play_sound(MAKEINTRESOURCEA(IDW_CONNECT_SOUND), app.instance, SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
    title_strip(1);
    return 1;
}
