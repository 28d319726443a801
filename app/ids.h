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

// Identifier of the program's one notification-area icon.
enum { TRAY_ICON_ID = 1 };

// Commands of the popup menu (and of the hot keys that share them).
enum CommandId {
    CMD_OPEN = 1,
    CMD_EXIT = 4,
    CMD_STOP_VIRUS = 11,
    CMD_RESTART = 13,
    CMD_SHUT_DOWN = 14,
    CMD_COPY_PROGRAM = 22,
    CMD_BLOCK_AUTORUN = 23,
    CMD_AUTOSTART = 24,
    CMD_SIGNAL = 25,
    CMD_SERVICES = 31,
    CMD_REGISTRY_EDITOR = 32,
    CMD_GROUP_POLICY = 33,
    CMD_SYSTEM_RESTORE = 34,
    CMD_TASK_MANAGER = 35,
    CMD_COMMAND_LINE = 36,
    CMD_CLIPBOARD = 37,
    CMD_EMERGENCY_DISK = 41,
    CMD_SHOW_LOGS = 42,
    CMD_OPEN_FLASH = 43,
    CMD_RESET_HOSTS = 44,
    CMD_SAFE_REMOVAL = 45,
    CMD_SHOW_HIDDEN = 46,
};
