// The main window procedure: one switch, one handler per message.
#include <windows.h>

#include "app/app_state.h"
#include "app/ids.h"
#include "app/tray_menu.h"
#include "log/settings_file.h"
#include "log/window_painting.h"

// The window exists: its popup menu, and the shell's restart message let through.
static void on_create(HWND window)
{
    app.main_window = window;
    app.popup_menu = build_popup_menu();
    allow_taskbar_created(window);
}

// The paint covers the whole client area; BeginPaint and EndPaint only validate it.
static void on_paint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    paint_main_window(window);
    EndPaint(window, &paint);
}

// The window goes: settings saved, timer stopped, icon removed, message loop ended.
static void on_destroy(HWND window)
{
    save_settings("set");
    KillTimer(window, TIMER_INTERFACE);
    tray_icon(0);
    PostQuitMessage(0);
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    // A registered message has no fixed number, so it cannot be a case below.
    if (message == taskbar_created_message()) {
        on_taskbar_created();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        on_create(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers the whole client area
    case WM_PAINT:
        on_paint(window);
        return 0;
    case WM_TRAY_NOTIFY:
        on_tray_notify(lparam);
        return 0;
    case WM_DESTROY:
        on_destroy(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
