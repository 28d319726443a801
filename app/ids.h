// Numbers shared by the window procedure, the menu, the regions and the resources.
#pragma once

enum ResourceId {
    IDI_KESTRIX = 113,
    IDW_CONNECT_SOUND = 147,
};

enum TimerId {
    TIMER_INTERFACE = 601,
    TIMER_FIRST_LOOK = 602,
    TIMER_WATCH_CYCLE = 603,
    TIMER_MANUAL_CHECK = 604,
    TIMER_STOP_VIRUS = 605,
    TIMER_KILL_GUARD = 606,
};

enum { HOTKEY_FIRST = 811, HOTKEY_LAST = 819 };

enum { WM_TRAY_NOTIFY = 1124 };
