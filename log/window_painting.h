// The painted part of the main window: hint line, picture banner and bottom bar, drawn with GDI+.
#pragma once
#include <windows.h>

#include <gdiplus.h>

// Client y of the banner; a point (x, y) of the banner bitmaps shows at (x, y + BANNER_TOP).
enum { BANNER_TOP = 201 };

// Draws the whole painted area below the lists off-screen and copies it to the window in one go.
// Returns 1; 0 only when the handle is no window that could be measured.
int paint_main_window(HWND window);

// Paints only when it would show something new: the window is on screen and what the last
// paint that reached the screen was drawn from has changed. Returns 1 when it painted.
int paint_main_window_when_changed(HWND window);

// Something else drew over the window (or may have): the next paint goes through.
void forget_last_paint();

// How many paints have drawn on the surface since the program started.
long paints_drawn();

// With 0, every paint draws everything afresh instead of starting from the kept drawing of
// what never changes (the same pixels, more slowly); 1 is the default. For measurements and tests.
void set_painting_layers(int on);

// Draws the two text strips, the banner and the highlights that follow AppState. A missing
// bitmap (nullptr) is skipped; the rest is drawn.
int paint_background(Gdiplus::GpGraphics *graphics, Gdiplus::GpBitmap *bg_text, Gdiplus::GpBitmap *bg1,
                     Gdiplus::GpBitmap *bg2);

// The off-screen surface that the paints draw on, nullptr before the first paint or when it
// could not be made. It stays for the whole run; tests read its pixels.
Gdiplus::GpBitmap *painting_surface();
