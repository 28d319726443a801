// AppState: the one program-wide record, read and written on the UI thread only.
#pragma once
#include <windows.h>

#include "app/startup_text.h"
#include "common/text_sizes.h"

// Positions of the option characters in AppState::settings.
enum { SETTING_AUTOSTART = 1, SETTING_COPY_PROGRAM = 2 };

// A numbered rectangle of the main window: panel buttons 1 to 5, bottom-bar labels 11 to 19.
struct ClickRegion {
    int number;
    RECT source;  // where the highlighted picture lies in the highlight bitmap (buttons only)
    RECT hit;     // client pixels; left <= x < right, top <= y < bottom
};

enum { CLICK_REGION_COUNT = 14 };

struct AppState {
    // Handles
    HWND main_window;
    HINSTANCE instance;
    HWND file_list, process_list, event_list;
    HMENU popup_menu;
    HCURSOR hand_cursor;
    ULONG_PTR gdiplus_token;

    // Texts (code page 1251)
    char command_line[COMMAND_LINE_SIZE];
    char exe_path[TEXT_SIZE];
    char program_version[TEXT_SIZE];
    char system_dir[TEXT_SIZE];
    char desktop_dir[TEXT_SIZE];
    char data_dir[TEXT_SIZE];
    char log_path[TEXT_SIZE];
    char settings_path[TEXT_SIZE];
    char userinit_default[TEXT_SIZE];
    char hint_text[TEXT_SIZE];
    char scratch[TEXT_SIZE];
    char emergency_disk_dir[TEXT_SIZE];
    char file_row_address[TEXT_SIZE];
    char flash_root[ROOT_SIZE];
    char last_removable_root[ROOT_SIZE];
    char removable_letters[ROOT_SIZE];
    char events[EVENT_SLOTS][TEXT_SIZE];  // slot 0 is the newest

    // Six option characters "0"/"1" and a terminating zero.
    char settings[SETTINGS_SIZE];

    // Flags and counters
    int emergency_start;
    int is_xp;
    int autorun_blocked;
    int signal_on;
    int monitoring;
    int monitoring_saved;
    int busy;
    int manual_scan;
    int logoff_state;
    int tick_phase;
    int cycle_phase;
    int first_ticks;
    int hover_region;
    RECT hover_rect;
    int shown_region;
    int pointer_x, pointer_y;
    int event_list_filled;
    POINT menu_point;
    int kill_guard;
    int process_count;
    int previous_process_count;
    int drive_count;
    int autoruns_found;
    int autoruns_deleted;
    int reinfection_count;
    int file_list_counter;

    ClickRegion regions[CLICK_REGION_COUNT];
};

extern AppState app;

// Start-up and the data folder.
int init_app_state();
// The data folder's path; its missing levels are created so that only administrators
// and SYSTEM may change them.
int data_folder_path(char *out, size_t out_size);
// Creates every missing level of path with security (nullptr: the default).
int make_directories(const char *path, SECURITY_ATTRIBUTES *security = nullptr);
int path_exists(char *path);
int read_file_version(const char *path, char *out, size_t out_size);
void center_window(HWND window);
// Steps of init_app_state that tests also run alone.
void detect_xp();
void detect_emergency_start();
void activate_running_instance(const char *title);

// The main window's lists. A list whose rows are all replaced holds its drawing meanwhile and
// then draws once, with every row: hold returns whether it held, release takes that answer.
int hold_list_drawing(HWND list);
void release_list_drawing(HWND list, int held);

// The whole program: single instance, state, window, message loop. Returns the exit code.
int run_program(HINSTANCE instance, int show_command);

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
