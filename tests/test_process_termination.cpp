// ProcessList and the termination pass on real process snapshots. The test starts
// its own helper processes under chosen names; the termination seam ends only those
// and refuses every other handle, so nothing the test did not start is touched.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <deque>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/ids.h"
#include "common/seams.h"
#include "list_view_helpers.h"
#include "log/event_log.h"
#include "repair/process_termination.h"
#include "test_support.h"

struct Child {
    std::string name;
    HANDLE process;
    DWORD id;
};

static std::vector<DWORD> g_children;  // ids of the processes this test started
static std::vector<DWORD> g_asked;     // every process the seam was asked to end, in order
static bool g_allow_children = true;

static bool is_child(DWORD id)
{
    return std::find(g_children.begin(), g_children.end(), id) != g_children.end();
}

// The only termination the program gets in these tests: the test's own children, nothing else.
static BOOL WINAPI guarded_terminate(HANDLE process, UINT exit_code)
{
    DWORD id = GetProcessId(process);
    g_asked.push_back(id);
    if (id == 0 || !is_child(id) || !g_allow_children)
        return FALSE;
    return TerminateProcess(process, exit_code);
}

struct SnapshotEntry {
    DWORD id, parent;
    std::string name;
};

static std::vector<SnapshotEntry> take_snapshot()
{
    std::vector<SnapshotEntry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    CloseHandle(snapshot);
    return entries;
}

static bool is_running(DWORD id)
{
    for (const SnapshotEntry &entry : take_snapshot())
        if (entry.id == id)
            return true;
    return false;
}

// Windows path of a helper given by the test runner as a Unix path.
static std::string helper_file(const char *variable)
{
    const char *unix_path = getenv(variable);
    if (!unix_path)
        return "";
    std::string path = std::string("Z:") + unix_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A process that was just created shows in a snapshot with an empty name until it has started.
static void wait_until_named(DWORD id)
{
    for (int i = 0; i < 600; i++) {  // up to 30 s on a busy machine
        for (const SnapshotEntry &entry : take_snapshot())
            if (entry.id == id && !entry.name.empty())
                return;
        Sleep(50);
    }
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sleeper_ = helper_file("KX_SLEEPER");
        ASSERT_FALSE(sleeper_.empty()) << "KX_SLEEPER is not set";
        dir_ = make_scratch_dir("processes");
        static const char *const columns[] = {"N", "Процесс", "Примечание", "ID", "ID родителя"};
        static const int widths[] = {30, 170, 90, 90, 90};
        list_ = make_report_list(columns, widths, 5);
        ASSERT_NE(list_, nullptr) << "no DISPLAY?";
        seam_terminate_process = guarded_terminate;
        g_children.clear();
        g_asked.clear();
        g_allow_children = true;
        app.main_window = nullptr;
        app.kill_guard = 0;
        app.process_count = 0;
        app.previous_process_count = 100;
        for (auto &slot : app.events)
            slot[0] = '\0';
    }
    void TearDown() override
    {
        // The test's own children only, by the handles it got when it started them.
        for (Child &child : children_) {
            TerminateProcess(child.process, 0);
            WaitForSingleObject(child.process, 5000);
            CloseHandle(child.process);
        }
        destroy_report_list(list_);
        reset_seams();
        app.kill_guard = 0;
        remove_tree(dir_);
    }

    // Starts a copy of the waiting helper under the given file name (in its own folder,
    // so that one name can run twice).
    Child &start(const char *name)
    {
        std::string folder = dir_ + "\\" + std::to_string(children_.size());
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string path = folder + "\\" + name;
        EXPECT_TRUE(CopyFileA(sleeper_.c_str(), path.c_str(), FALSE)) << path;
        std::string command = "\"" + path + "\" 120000";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        EXPECT_TRUE(CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   folder.c_str(), &startup, &info))
            << path;
        CloseHandle(info.hThread);
        children_.push_back({name, info.hProcess, info.dwProcessId});
        g_children.push_back(info.dwProcessId);
        wait_until_named(info.dwProcessId);
        return children_.back();
    }

    bool ended(const Child &child) { return WaitForSingleObject(child.process, 3000) == WAIT_OBJECT_0; }
    bool alive(const Child &child) { return WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT; }

    // Row of a process id in the list, -1 when it is not listed.
    int row_of(DWORD id)
    {
        for (int row = 0; row < list_rows(list_); row++)
            if (list_cell(list_, row, 3) == std::to_string((int)id))
                return row;
        return -1;
    }
    std::string note_of(const Child &child) { return list_cell(list_, row_of(child.id), 2); }

    // The rows mirror the snapshot: last process on top with the highest number, all five cells.
    void expect_rows_mirror(const std::vector<SnapshotEntry> &snapshot)
    {
        int count = (int)snapshot.size();
        ASSERT_EQ(list_rows(list_), count);
        for (int row = 0; row < count; row++) {
            const SnapshotEntry &entry = snapshot[count - 1 - row];
            EXPECT_EQ(list_cell(list_, row, 0), std::to_string(count - row)) << row;
            EXPECT_EQ(list_cell(list_, row, 1), entry.name) << row;
            EXPECT_EQ(list_cell(list_, row, 3), std::to_string((int)entry.id)) << row;
            EXPECT_EQ(list_cell(list_, row, 4), std::to_string((int)entry.parent)) << row;
        }
    }

    std::string sleeper_, dir_;
    HWND list_ = nullptr;
    std::deque<Child> children_;  // references to its elements stay valid as it grows
};

TEST(ProtectedNames, WholeNameAfterLowerCasing)
{
    EXPECT_EQ(PROTECTED_PROCESS_COUNT, 23);
    struct Case {
        const char *name;
        int protected_name;
    } cases[] = {
        {"svchost.exe", 1},     {"SvcHost.EXE", 1},     {"CTFMON.EXE", 1},       {"[System Process]", 1},
        {"System", 1},          {"KESTRIX.EXE", 1},     {"explorer.exe", 1},     {"SearchIndexer.exe", 1},
        {"my_svchost.exe", 0},  {"svchost.exe.exe", 0}, {"svchost", 0},          {"kestrix_copy.exe", 0},
        {" svchost.exe", 0},    {"", 0},                {"winedevice.exe", 0},
        // What Windows 10 and 11 need beyond that list; two of them have no ".exe".
        {"sihost.exe", 1},      {"RuntimeBroker.exe", 1}, {"fontdrvhost.exe", 1}, {"ShellExperienceHost.exe", 1},
        {"WmiPrvSE.exe", 1},    {"Registry", 1},        {"Memory Compression", 1}, {"Secure System", 1},
        {"userinit.exe", 1},    {"LockApp.exe", 1},     {"registry.exe", 0},     {"memory compression.exe", 0},
        {"runtimebroker", 0},   {"sihost.exe ", 0},
    };
    for (const Case &c : cases) {
        char lower[MAX_PATH];
        lstrcpynA(lower, c.name, sizeof lower);
        CharLowerA(lower);
        EXPECT_EQ(is_protected_process_name(lower), c.protected_name) << c.name;
    }
}

TEST_F(ProcessTest, TerminationPassEndsForeignChildrenOnlyAndCountsThem)
{
    Child &my_svchost = start("my_svchost.exe");
    Child &svchost_exe = start("svchost.exe.exe");
    Child &svchost_case = start("SvcHost.EXE");
    Child &ctfmon = start("CTFMON.EXE");
    Child &explorer_first = start("explorer.exe");
    Child &explorer_last = start("explorer.exe");
    std::vector<SnapshotEntry> before = take_snapshot();
    DWORD last_explorer = 0;
    for (const SnapshotEntry &entry : before)
        if (lstrcmpiA(entry.name.c_str(), "explorer.exe") == 0)
            last_explorer = entry.id;
    ASSERT_EQ(last_explorer, explorer_last.id) << "the test's second explorer.exe is the last one listed";

    EXPECT_EQ(kill_foreign_processes(list_), 1);

    expect_rows_mirror(before);
    EXPECT_EQ(note_of(my_svchost), "удален");
    EXPECT_EQ(note_of(svchost_exe), "удален");
    EXPECT_EQ(note_of(svchost_case), " ");
    EXPECT_EQ(note_of(ctfmon), " ");
    EXPECT_EQ(note_of(explorer_first), " ");
    EXPECT_EQ(note_of(explorer_last), " ");  // ended after the pass, its row untouched
    EXPECT_EQ(list_cell(list_, row_of(my_svchost.id), 4), std::to_string((int)GetCurrentProcessId()));

    EXPECT_TRUE(ended(my_svchost));
    EXPECT_TRUE(ended(svchost_exe));
    EXPECT_TRUE(ended(explorer_last));
    EXPECT_TRUE(alive(svchost_case));
    EXPECT_TRUE(alive(ctfmon));
    EXPECT_TRUE(alive(explorer_first));

    // Every other foreign process was offered to the seam, refused, and noted as such.
    for (const SnapshotEntry &entry : before) {
        if (is_child(entry.id) || entry.id == GetCurrentProcessId())
            continue;
        char lower[MAX_PATH];
        lstrcpynA(lower, entry.name.c_str(), sizeof lower);
        CharLowerA(lower);
        std::string note = list_cell(list_, row_of(entry.id), 2);
        EXPECT_EQ(note, is_protected_process_name(lower) ? " " : "нет доступа") << entry.name;
        EXPECT_TRUE(is_running(entry.id)) << entry.name << " must not be touched";
    }
    // The shell was the last one asked for.
    ASSERT_FALSE(g_asked.empty());
    EXPECT_EQ(g_asked.back(), explorer_last.id);

    // Three ended: two in the pass and the explorer at its end.
    EXPECT_STREQ(app.events[0] + 11, "Остановлено процессов: 3.");
    EXPECT_STREQ(app.scratch, "Остановлено процессов: 3.");
    EXPECT_EQ(app.kill_guard, 1);
}

TEST_F(ProcessTest, PassThatEndsNothingSaysZero)
{
    Child &foreign = start("my_svchost.exe");
    Child &explorer = start("explorer.exe");
    g_allow_children = false;  // the seam refuses everything
    EXPECT_EQ(kill_foreign_processes(list_), 1);
    EXPECT_EQ(note_of(foreign), "нет доступа");
    EXPECT_EQ(note_of(explorer), " ");
    EXPECT_TRUE(alive(foreign));
    EXPECT_TRUE(alive(explorer));
    EXPECT_STREQ(app.events[0] + 11, "Остановлено процессов: 0.");
}

TEST_F(ProcessTest, ListingModesOtherThanTwoOnlyList)
{
    Child &foreign = start("my_svchost.exe");
    for (int mode : {0, 1, 3, -1}) {
        SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
        std::vector<SnapshotEntry> before = take_snapshot();
        EXPECT_EQ(list_processes(list_, mode), (int)before.size()) << mode;
        expect_rows_mirror(before);
        for (int row = 0; row < list_rows(list_); row++)
            EXPECT_EQ(list_cell(list_, row, 2), " ") << mode;
    }
    EXPECT_TRUE(g_asked.empty());
    EXPECT_TRUE(alive(foreign));
    EXPECT_EQ(app.events[0][0], '\0');  // listing logs nothing

    // list_processes adds to what is there: the caller clears.
    int count = list_rows(list_);
    list_processes(list_, 0);
    EXPECT_GE(list_rows(list_), 2 * count - 1);
}

TEST_F(ProcessTest, RefreshRebuildsOnlyWhenTheCountChanges)
{
    // The start value 100 differs from the real count: the first refresh fills the list.
    EXPECT_EQ(refresh_process_list(list_), 1);
    int count = (int)take_snapshot().size();
    EXPECT_EQ(count_processes(), count);
    EXPECT_EQ(app.process_count, count);
    EXPECT_EQ(app.previous_process_count, count);
    ASSERT_EQ(list_rows(list_), count);

    set_list_cell(list_, 0, 2, "marker");
    EXPECT_EQ(refresh_process_list(list_), 1);
    EXPECT_EQ(list_cell(list_, 0, 2), "marker");

    Child &first = start("first.exe");
    EXPECT_EQ(refresh_process_list(list_), 1);
    EXPECT_EQ(app.process_count, count + 1);
    EXPECT_EQ(list_rows(list_), count + 1);
    EXPECT_EQ(list_cell(list_, 0, 1), "first.exe");

    // Another process takes the finished one's place: same count, list left as it was.
    set_list_cell(list_, 0, 2, "marker");
    TerminateProcess(first.process, 0);  // the test's own child, by its own handle
    ASSERT_TRUE(ended(first));
    Child &second = start("second.exe");
    EXPECT_EQ(refresh_process_list(list_), 1);
    EXPECT_EQ(list_cell(list_, 0, 2), "marker");
    EXPECT_EQ(row_of(second.id), -1);
    EXPECT_NE(row_of(first.id), -1);
}

TEST_F(ProcessTest, GuardHoldsTheListAndBothCounts)
{
    refresh_process_list(list_);
    set_list_cell(list_, 0, 2, "marker");
    app.kill_guard = 1;
    app.process_count = 7;
    app.previous_process_count = 8;
    start("third.exe");
    EXPECT_EQ(refresh_process_list(list_), 0);
    EXPECT_EQ(app.process_count, 7);
    EXPECT_EQ(app.previous_process_count, 8);
    EXPECT_EQ(list_cell(list_, 0, 2), "marker");

    // When the guard ends, the count is compared with the one from before it.
    app.kill_guard = 0;
    EXPECT_EQ(refresh_process_list(list_), 1);
    EXPECT_EQ(list_cell(list_, 0, 1), "third.exe");
    EXPECT_EQ(list_cell(list_, 0, 2), " ");
}

TEST_F(ProcessTest, PassStartsTheGuardTimerOnTheMainWindowEachTime)
{
    app.main_window = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(app.main_window, nullptr);
    start("my_svchost.exe");
    g_allow_children = false;
    app.process_count = 7;
    app.previous_process_count = 8;

    kill_foreign_processes(list_);
    EXPECT_TRUE(KillTimer(app.main_window, TIMER_KILL_GUARD));
    // A second pass during the guard rebuilds rather than adds, and arms the timer again.
    kill_foreign_processes(list_);
    EXPECT_EQ(list_rows(list_), (int)take_snapshot().size());
    EXPECT_EQ(app.kill_guard, 1);
    EXPECT_TRUE(KillTimer(app.main_window, TIMER_KILL_GUARD));
    EXPECT_EQ(app.process_count, 7);
    EXPECT_EQ(app.previous_process_count, 8);

    DestroyWindow(app.main_window);
    app.main_window = nullptr;
}

// The program itself is never asked to end, whatever its file is called, and neither are the
// processes Windows needs; a foreign name beside them still ends.
TEST_F(ProcessTest, PassSparesItselfAndTheProcessesOfWindows)
{
    std::vector<Child *> windows_parts;
    for (const char *name : {"sihost.exe", "RuntimeBroker.exe", "dwm.exe", "StartMenuExperienceHost.exe", "conhost.exe",
                             "Registry", "Memory Compression", "userinit.exe"})
        windows_parts.push_back(&start(name));
    Child &renamed_program = start("kestrix (1).exe");

    kill_foreign_processes(list_);

    EXPECT_EQ(std::count(g_asked.begin(), g_asked.end(), GetCurrentProcessId()), 0)
        << "the test program stands for the running program under a name of its own";
    EXPECT_EQ(list_cell(list_, row_of(GetCurrentProcessId()), 2), " ");
    for (Child *part : windows_parts) {
        EXPECT_EQ(std::count(g_asked.begin(), g_asked.end(), part->id), 0) << part->name;
        EXPECT_EQ(note_of(*part), " ") << part->name;
        EXPECT_TRUE(alive(*part)) << part->name;
    }
    // Another copy of the program under another name is not the program itself.
    EXPECT_TRUE(ended(renamed_program));
    EXPECT_EQ(note_of(renamed_program), "удален");
}

static std::vector<std::string> g_started;  // application names the program asked to start

static BOOL WINAPI record_start(LPCSTR application, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION)
{
    g_started.push_back(application ? application : "(none)");
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Wine's own desktop process is an explorer.exe of this session, started with the test's first
// window, so the shell the check looks for is there: ending a shell in the pass starts none.
TEST_F(ProcessTest, NoSecondShellWhileAnExplorerRuns)
{
    seam_create_process = record_start;
    g_started.clear();
    Child &shell = start("explorer.exe");
    bool other_explorer = false;
    for (const SnapshotEntry &entry : take_snapshot())
        other_explorer |= lstrcmpiA(entry.name.c_str(), "explorer.exe") == 0 && entry.id != shell.id;
    ASSERT_TRUE(other_explorer) << "Wine's desktop process is expected to run";

    restart_shell_if_missing();  // forgets a shell an earlier test's pass ended
    kill_foreign_processes(list_);
    ASSERT_TRUE(ended(shell));
    EXPECT_EQ(restart_shell_if_missing(), 0);
    EXPECT_TRUE(g_started.empty());
}
