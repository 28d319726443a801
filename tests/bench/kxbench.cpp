// Measurements for scripts/bench, run under Wine: the drive pass against a bare directory
// search of the same places, the cost of one paint, and the writes of passes to a plugged drive.
//
//   kxbench pass <rounds> <copy 0|1> <letter><r|f>=<unix folder>...   look pass vs bare search
//   kxbench paint <rounds> <kestrix.exe>                              one paint_main_window
//   kxbench resident <seconds> <kestrix.exe> <shown 0|1>              the program's handlers, timed
//   kxbench plugged <passes> <E: folder> <F: folder> <ready> <go>   passes on protected E: and F:
#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "drives/protection_folder.h"
#include "drives/watch_cycle.h"
#include "log/window_painting.h"
#include "repair/registry_repair.h"
#include "list_view_helpers.h"
#include "tools/mount_drive.h"

namespace {

double now_us()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1e6 / (double)frequency.QuadPart;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A program to copy into protection folders: kestrix.exe placed on C: by the script.
void use_program_copy_source(char copy_flag)
{
    app.settings[SETTING_COPY_PROGRAM] = copy_flag;
    text_copy(app.exe_path, "C:\\kxbench\\kestrix.exe");
    app.program_version[0] = '\0';
    read_file_version(app.exe_path, app.program_version, sizeof app.program_version);
}

// A hidden window holding a real FileList with its four columns; nullptr without a display.
HWND make_file_list()
{
    static const char *const columns[] = {"c", "c", "c", "c"};
    static const int widths[] = {100, 100, 100, 100};
    return make_report_list(columns, widths, 4);
}

// The bare search the pass cannot do without: every location, the pass's own pattern.
int bare_search(const std::vector<std::string> &locations)
{
    int entries = 0;
    for (const std::string &location : locations) {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((location + "\\autorun.*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do
            entries++;
        while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    return entries;
}

// The bare search plus the two questions the pass must ask of every drive letter that names
// a drive (its type, and whether its volume answers and with which flags): what no pass can
// do without.
int bare_search_and_queries(const std::vector<std::string> &locations)
{
    DWORD present = GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; letter++) {
        if (!(present & (1u << (letter - 'A'))))
            continue;
        char root[4] = {letter, ':', '\\', '\0'};
        DWORD flags = 0;
        UINT type = GetDriveTypeA(root);
        if (type == DRIVE_FIXED || type == DRIVE_REMOVABLE)
            GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
    }
    return bare_search(locations);
}

// Times each step of the pass on its own, to see where a pass spends its time.
void print_profile(HWND list, const std::vector<std::string> &locations, int rounds)
{
    std::vector<int> removable(locations.size(), 0);
    for (size_t i = 1; i < locations.size(); i++)
        removable[i] = GetDriveTypeA((locations[i] + "\\").c_str()) == DRIVE_REMOVABLE;
    std::vector<double> logical, types, volumes, sweeps, rows, repair;
    LVITEMA item = {};
    for (int round = 0; round < rounds; round++) {
        double start = now_us();
        GetLogicalDrives();
        logical.push_back(now_us() - start);
        start = now_us();
        for (size_t i = 1; i < locations.size(); i++)
            GetDriveTypeA((locations[i] + "\\").c_str());
        types.push_back(now_us() - start);
        start = now_us();
        for (size_t i = 1; i < locations.size(); i++) {
            DWORD flags = 0;
            GetVolumeInformationA((locations[i] + "\\").c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
        }
        volumes.push_back(now_us() - start);
        std::vector<std::string> records(locations.size());
        start = now_us();
        for (size_t i = 0; i < locations.size(); i++) {
            char text[RECORD_TEXT_SIZE] = "";
            int deleted = 0, folder_state = FOLDER_NONE;
            sweep_location(locations[i].c_str(), "autorun.*", SWEEP_LOOK, text, &deleted, removable[i], &folder_state);
            records[i] = text;
        }
        sweeps.push_back(now_us() - start);
        start = now_us();
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
        for (size_t i = 0; i < locations.size(); i++)
            add_file_rows(list, item, records[i].c_str(), locations[i].c_str());
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        rows.push_back(now_us() - start);
        start = now_us();
        repair_registry();
        repair.push_back(now_us() - start);
    }
    printf("profile logical_drives_us=%.0f drive_types_us=%.0f volume_queries_us=%.0f sweeps_us=%.0f "
           "file_rows_us=%.0f registry_repair_us=%.0f\n",
           median(logical), median(types), median(volumes), median(sweeps), median(rows), median(repair));
}

// kxbench pass: plugs the drives, then alternates look passes and bare searches.
int bench_pass(int argc, char **argv)
{
    int rounds = atoi(argv[2]);
    char copy_flag = argv[3][0];
    std::vector<std::string> locations = {app.system_dir, "C:"};
    for (int i = 4; i < argc; i++) {
        const char *drive = argv[i];  // Er=/unix/folder
        SimulatedDrive kind = drive[1] == 'r' ? DRIVE_PLUGGED_REMOVABLE : DRIVE_PLUGGED_FIXED;
        if (!define_simulated_drive(drive[0], kind, drive + 3)) {
            fprintf(stderr, "kxbench: cannot plug %c:\n", drive[0]);
            return 1;
        }
        locations.push_back(std::string(1, drive[0]) + ":");
    }
    use_program_copy_source(copy_flag);
    HWND list = make_file_list();
    LVITEMA item = {};
    // The first passes give removable drives their folders; from then on every pass is alike.
    for (int warm = 0; warm < 3; warm++) {
        scan_removable_drives(list, item, SCAN_LOOK);
        bare_search(locations);
    }
    std::vector<double> passes, bares, floors;
    int entries = 0;
    for (int round = 0; round < rounds; round++) {
        double start = now_us();
        scan_removable_drives(list, item, SCAN_LOOK);
        passes.push_back(now_us() - start);
        start = now_us();
        entries = bare_search(locations);
        bares.push_back(now_us() - start);
        start = now_us();
        bare_search_and_queries(locations);
        floors.push_back(now_us() - start);
    }
    printf("pass locations=%zu drives=%d found=%d entries=%d list=%d copy=%c\n", locations.size(), app.drive_count,
           app.autoruns_found, entries, list ? 1 : 0, copy_flag);
    printf("pass_us=%.0f bare_us=%.0f ratio=%.2f floor_us=%.0f floor_ratio=%.2f\n", median(passes), median(bares),
           median(passes) / median(bares), median(floors), median(passes) / median(floors));
    print_profile(list, locations, rounds);
    return 0;
}

// kxbench paint: a shown window of the main window's size, painted again and again.
int bench_paint(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    int rounds = atoi(argv[2]);
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&app.gdiplus_token, &input, nullptr);
    app.instance = LoadLibraryExA(argv[3], nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HWND window = CreateWindowExA(0, "STATIC", "kxbench paint", WS_OVERLAPPED | WS_CAPTION, 0, 0, 500, 330, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!app.instance || !window) {
        fprintf(stderr, "kxbench: no resources or no window\n");
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    app.monitoring = 1;
    paint_main_window(window);  // bitmaps and surface are made once
    std::vector<double> paints, afresh, skipped;
    for (int round = 0; round < rounds; round++) {
        app.cycle_phase = round % 3;
        double start = now_us();
        paint_main_window(window);
        paints.push_back(now_us() - start);
        start = now_us();
        paint_main_window_when_changed(window);
        skipped.push_back(now_us() - start);
        set_painting_layers(0);
        start = now_us();
        paint_main_window(window);
        afresh.push_back(now_us() - start);
        set_painting_layers(1);
    }
    printf("paint_us=%.0f afresh_us=%.0f unchanged_check_us=%.1f rounds=%d\n", median(paints), median(afresh),
           median(skipped), rounds);
    return 0;
}

// kxbench resident: the program's own window and handlers, shown or hidden. Prints what
// each periodic handler costs, and the CPU of the message loop with the program's timers.
int bench_resident(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    int seconds = atoi(argv[2]);
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&app.gdiplus_token, &input, nullptr);
    app.instance = LoadLibraryExA(argv[3], nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = main_window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "KxBenchResident";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "KxBenchResident", "kxbench resident",
                                  WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                  500, 330, nullptr, nullptr, window_class.hInstance, nullptr);
    if (!window)
        return 1;
    bool shown = argc > 4 && argv[4][0] == '1';
    if (shown)
        ShowWindow(window, SW_SHOW);
    KillTimer(window, TIMER_FIRST_LOOK);
    KillTimer(window, TIMER_WATCH_CYCLE);
    KillTimer(window, TIMER_INTERFACE);
    auto handler_us = [&](UINT id, int times) {
        std::vector<double> costs;
        for (int i = 0; i < times; i++) {
            double start = now_us();
            SendMessageA(window, WM_TIMER, id, 0);
            costs.push_back(now_us() - start);
        }
        return median(costs);
    };
    for (int warm = 0; warm < 8; warm++)
        SendMessageA(window, WM_TIMER, TIMER_WATCH_CYCLE, 0);
    double interface_tick = handler_us(TIMER_INTERFACE, 51);
    std::vector<double> phases[4];
    for (int cycle = 0; cycle < 9; cycle++)
        for (int tick = 0; tick < 4; tick++) {
            int phase = app.tick_phase;
            double start = now_us();
            SendMessageA(window, WM_TIMER, TIMER_WATCH_CYCLE, 0);
            phases[phase].push_back(now_us() - start);
        }
    printf("resident shown=%d interface_tick_us=%.0f watch_plain_us=%.0f watch_drives_us=%.0f "
           "watch_processes_us=%.0f\n",
           shown ? 1 : 0, interface_tick, median(phases[0]), median(phases[1]), median(phases[3]));

    if (seconds <= 0)
        return 0;
    if (shown)
        SetTimer(window, TIMER_INTERFACE, 100, nullptr);
    SetTimer(window, TIMER_WATCH_CYCLE, 1000, nullptr);
    FILETIME created, ended, kernel0, user0, kernel1, user1;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel0, &user0);
    DWORD until = GetTickCount() + (DWORD)seconds * 1000;
    MSG message;
    while ((int)(until - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, until - GetTickCount(), QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel1, &user1);
    auto ticks = [](const FILETIME &t) { return ((ULONGLONG)t.dwHighDateTime << 32) | t.dwLowDateTime; };
    double used = (double)(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e7;
    printf("resident_loop cpu_percent=%.2f seconds=%d\n", 100 * used / seconds, seconds);
    return 0;
}

bool file_exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// kxbench plugged: a removable E: and a fixed F: (a USB disk that says it is fixed) with the
// copy option on; after the first pass it says "ready" through a file and waits for "go"
// before the timed passes.
int bench_plugged(int argc, char **argv)
{
    if (argc < 7)
        return 2;
    int passes = atoi(argv[2]);
    if (!define_simulated_drive('E', DRIVE_PLUGGED_REMOVABLE, argv[3]) ||
        !define_simulated_drive('F', DRIVE_PLUGGED_FIXED, argv[4])) {
        fprintf(stderr, "kxbench: cannot plug E: and F:\n");
        return 1;
    }
    use_program_copy_source('1');
    LVITEMA item = {};
    scan_removable_drives(nullptr, item, SCAN_LOOK);
    HANDLE ready = CreateFileA(argv[5], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(ready);
    for (int waited = 0; !file_exists(argv[6]); waited += 50) {
        if (waited > 60000)
            return 1;
        Sleep(50);
    }
    double start = now_us();
    for (int pass = 0; pass < passes; pass++)
        scan_removable_drives(nullptr, item, SCAN_LOOK);
    printf("plugged passes=%d pass_us=%.0f copy_version=%s\n", passes, (now_us() - start) / passes,
           app.program_version);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || !init_app_state()) {
        fprintf(stderr, "usage: kxbench pass|paint|plugged ...\n");
        return 2;
    }
    if (strcmp(argv[1], "pass") == 0 && argc >= 4)
        return bench_pass(argc, argv);
    if (strcmp(argv[1], "paint") == 0)
        return bench_paint(argc, argv);
    if (strcmp(argv[1], "resident") == 0)
        return bench_resident(argc, argv);
    if (strcmp(argv[1], "plugged") == 0)
        return bench_plugged(argc, argv);
    return 2;
}
