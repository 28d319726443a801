// The main window procedure: one switch, one handler per message.
#include <windows.h>

#include "app/app_state.h"
#include "app/ids.h"
#include "log/settings_file.h"

// Until the banner is painted, the client area is plain window colour.
static void on_paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_WINDOW));
    EndPaint(window, &paint);
}

static void on_destroy(HWND window)
{
    save_settings("set");
    KillTimer(window, TIMER_INTERFACE);
    PostQuitMessage(0);
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers the whole client area
    case WM_PAINT:
        on_paint(window);
        return 0;
    case WM_DESTROY:
        on_destroy(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
