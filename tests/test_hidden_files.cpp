// Unhiding the entries of a chosen folder: real files and folders with real attributes,
// a real simulated drive, real links; the dialog, the boxes and the launch are seams.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "drives/hidden_files.h"
#include "log/event_log.h"
#include "test_support.h"

static const DWORD HIDDEN = FILE_ATTRIBUTE_HIDDEN, SYSTEM = FILE_ATTRIBUTE_SYSTEM,
                   READ_ONLY = FILE_ATTRIBUTE_READONLY, ARCHIVE = FILE_ATTRIBUTE_ARCHIVE;
static const UINT BOX_STYLE = MB_TOPMOST | MB_ICONINFORMATION;
static const HWND MAIN_WINDOW = (HWND)(INT_PTR)0x4242;

// What the seams saw.
struct BoxCall {
    HWND owner;
    std::string text, caption;
    UINT type;
};
static std::vector<BoxCall> boxes;
static std::vector<std::string> exec_lines, shell_files;
static std::vector<HWND> shell_owners;

// The dialog: what it was asked, and the answer it gives (empty: the user cancels).
struct DialogSeen {
    int calls;
    HWND owner;
    std::string title, filter, file, initial_dir;
    DWORD flags, max_file;
};
static DialogSeen dialog;
static std::string dialog_answer;
static WORD dialog_offset;

static int WINAPI fake_message_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    boxes.push_back({owner, text, caption, type});
    return IDOK;
}

static BOOL WINAPI fake_create_process(LPCSTR, LPSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                       LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION)
{
    exec_lines.push_back(line);
    return FALSE;
}

static HINSTANCE WINAPI fake_shell_execute(HWND owner, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT)
{
    shell_owners.push_back(owner);
    shell_files.push_back(file);
    return (HINSTANCE)42;
}

// The filter up to its double zero, embedded zeros kept.
static std::string filter_bytes(const char *filter)
{
    std::string bytes;
    while (filter && (filter[0] || filter[1]))
        bytes.push_back(*filter++);
    return filter ? bytes + '\0' : bytes;
}

static BOOL WINAPI fake_open_file_name(LPOPENFILENAMEA ofn)
{
    dialog.calls++;
    dialog.owner = ofn->hwndOwner;
    dialog.title = ofn->lpstrTitle ? ofn->lpstrTitle : "";
    dialog.filter = filter_bytes(ofn->lpstrFilter);
    dialog.file = ofn->lpstrFile;
    dialog.initial_dir = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "";
    dialog.flags = ofn->Flags;
    dialog.max_file = ofn->nMaxFile;
    if (dialog_answer.empty())
        return FALSE;
    text_copy_n(ofn->lpstrFile, ofn->nMaxFile, dialog_answer.c_str());
    ofn->nFileOffset = dialog_offset;
    return TRUE;
}

// The dialog returns folder + "Push OPEN", as when the user presses Open inside folder.
static void answer_dialog_with(const std::string &folder_with_backslash)
{
    dialog_answer = folder_with_backslash + "Push OPEN";
    dialog_offset = (WORD)folder_with_backslash.size();
}

static void make_file(const std::string &path, DWORD attributes)
{
    write_file_bytes(path, "x");
    SetFileAttributesA(path.c_str(), attributes);
}

static void make_folder(const std::string &path, DWORD attributes)
{
    CreateDirectoryA(path.c_str(), nullptr);
    SetFileAttributesA(path.c_str(), attributes);
}

static DWORD attributes_of(const std::string &path)
{
    return GetFileAttributesA(path.c_str());
}

// The bits that hide an entry or keep it read-only. Wine always shows files with the
// archive bit and folders without it, so only these are compared.
static DWORD hiding_bits(const std::string &path)
{
    DWORD attributes = attributes_of(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? attributes : attributes & (HIDDEN | SYSTEM | READ_ONLY);
}

// Event texts without their time, oldest first.
static std::vector<std::string> logged_events()
{
    std::vector<std::string> texts;
    for (int slot = EVENT_SLOTS - 1; slot >= 0; slot--)
        if (app.events[slot][0])
            texts.push_back(app.events[slot] + 11);
    return texts;
}

static std::string report(const std::string &folder, int found, int visible, int hidden)
{
    char text[1024];
    text_format(text,
                "Директория:\n%s.\nФайлов и папок найдено: %d;\nВидимых: %d;\nСкрытых было: %d;\n"
                "Скрытых осталось: %d.",
                folder.c_str(), found, visible, hidden, found - visible);
    return text;
}

static std::string clean_report(int found)
{
    return "Проверено файлов и папок: " + std::to_string(found) + ".   \nСкрытые файлы не обнаружены.    ";
}

// The counts a report message gives, in order: found, visible, hidden, left.
static std::vector<int> report_counts(const std::string &text)
{
    std::vector<int> counts;
    for (size_t at = text.find(": "); at != std::string::npos; at = text.find(": ", at + 1))
        counts.push_back(atoi(text.c_str() + at + 2));
    while (counts.size() < 4)
        counts.push_back(-1);
    return counts;
}

// Starts a Linux program in a Windows folder. Wine gives no usable handle to a Linux
// process, so callers wait for its effect on disk.
static bool start_unix(const std::string &command, const std::string &folder)
{
    std::string line = "Z:\\bin\\" + command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
        return false;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    return true;
}

static bool wait_until(const std::string &path, bool present)
{
    for (int tries = 0; tries < 600; tries++, Sleep(50))  // up to 30 s on a busy machine
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present)
            return true;
    return false;
}

// Links and long paths a test made, taken away before its folder is removed: the
// folder remover would follow a link and cannot reach a long path.
static std::vector<std::pair<std::string, std::string>> unix_links;  // folder, name
static std::vector<std::wstring> long_paths;

// A Linux symbolic link name -> target in a Windows folder (Wine makes no links itself).
static bool make_unix_link(const std::string &target, const std::string &name, const std::string &folder)
{
    unix_links.push_back({folder, name});
    return start_unix("ln -s " + target + " " + name, folder) && wait_until(folder + "\\" + name, true);
}

static std::wstring long_form(const std::string &path)
{
    wchar_t wide[1024];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, 1024);
    return std::wstring(L"\\\\?\\") + wide;
}

// Files and folders through the wide API, which takes paths past the ANSI limit.
static bool make_long_file(const std::string &path, DWORD attributes)
{
    long_paths.push_back(long_form(path));
    HANDLE file = CreateFileW(long_paths.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

static bool make_long_folder(const std::string &path)
{
    long_paths.push_back(long_form(path));
    return CreateDirectoryW(long_paths.back().c_str(), nullptr) != FALSE;
}

static void remove_links_and_long_paths()
{
    for (auto &link : unix_links)
        if (start_unix("rm -f " + link.second, link.first))
            wait_until(link.first + "\\" + link.second, false);
    unix_links.clear();
    for (auto path = long_paths.rbegin(); path != long_paths.rend(); ++path) {
        SetFileAttributesW(path->c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path->c_str()))
            RemoveDirectoryW(path->c_str());
    }
    long_paths.clear();
}

class HiddenFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        boxes.clear();
        exec_lines.clear();
        shell_files.clear();
        shell_owners.clear();
        dialog = DialogSeen();
        dialog_answer.clear();
        seam_message_box = fake_message_box;
        seam_create_process = fake_create_process;
        seam_shell_execute = fake_shell_execute;
        seam_get_open_file_name = fake_open_file_name;
        for (auto &slot : app.events)
            slot[0] = '\0';
        dir_ = make_scratch_dir("hidden");
        log_dir_ = make_scratch_dir("hidden_log");
        text_copy(app.log_path, (log_dir_ + "\\KX_Log.txt").c_str());
        text_copy(app.desktop_dir, dir_.c_str());
        app.flash_root[0] = '\0';
        app.main_window = MAIN_WINDOW;
    }
    void TearDown() override
    {
        reset_seams();
        remove_links_and_long_paths();
        remove_tree(dir_);
        remove_tree(log_dir_);
        app.main_window = nullptr;
    }
    // The one box shown, with its fixed caption and style.
    std::string only_box()
    {
        EXPECT_EQ(boxes.size(), 1u);
        if (boxes.empty())
            return "";
        EXPECT_EQ(boxes[0].caption, "Сообщение");
        EXPECT_EQ(boxes[0].type, BOX_STYLE);
        EXPECT_EQ(boxes[0].owner, nullptr);
        return boxes[0].text;
    }
    bool log_file_written() { return attributes_of(log_dir_ + "\\KX_Log.txt") != INVALID_FILE_ATTRIBUTES; }
    std::string dir_, log_dir_;
};

TEST_F(HiddenFiles, DialogIsAFolderChooserAndCancelOrNoFolderDoesNothing)
{
    make_file(dir_ + "\\secret.txt", HIDDEN);
    struct Case {
        const char *flash_root;
        std::string initial_dir;
    } cases[] = {{"", dir_}, {"E:\\", "E:\\"}};
    static const char FILTER[] = "Показать только папки.\0*.papka;*.papka;\0";
    for (const Case &c : cases) {
        dialog = DialogSeen();
        text_copy(app.flash_root, c.flash_root);
        EXPECT_EQ(show_hidden_files(), 0);
        EXPECT_EQ(dialog.calls, 1);
        EXPECT_EQ(dialog.title, "Откройте диск или папку.");
        EXPECT_EQ(dialog.filter, std::string(FILTER, sizeof FILTER - 1));
        EXPECT_EQ(dialog.file, "Push OPEN");
        EXPECT_EQ(dialog.initial_dir, c.initial_dir);
        EXPECT_EQ(dialog.owner, MAIN_WINDOW);
        EXPECT_EQ(dialog.flags, (DWORD)(OFN_EXPLORER | OFN_HIDEREADONLY));  // the name need not exist
        EXPECT_EQ(dialog.max_file, 512u);
    }
    // An answer with no folder in front of the name would mean the current drive's
    // root ("\\*.*"): it is refused like a cancel.
    dialog_answer = "Push OPEN";
    dialog_offset = 0;
    EXPECT_EQ(show_hidden_files(), 0);

    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(exec_lines.empty() && shell_files.empty());
    EXPECT_TRUE(logged_events().empty());
    EXPECT_EQ(hiding_bits(dir_ + "\\secret.txt"), HIDDEN);
}

TEST_F(HiddenFiles, SubFolderWithTwoHiddenFilesFromTheDialog)
{
    std::string sub = dir_ + "\\Docs";
    make_folder(sub, 0);
    make_file(sub + "\\a.txt", HIDDEN);
    make_file(sub + "\\b.txt", ARCHIVE);
    make_file(sub + "\\c.txt", HIDDEN | SYSTEM | READ_ONLY);
    answer_dialog_with(sub + "\\");

    EXPECT_EQ(show_hidden_files(), 1);

    // The folder keeps its backslash, so entry paths show two.
    std::vector<std::string> expected_log = {"Найдены скрытые файлы: ", "1. " + sub + "\\\\a.txt",
                                             "2. " + sub + "\\\\c.txt"};
    EXPECT_EQ(logged_events(), expected_log);
    EXPECT_EQ(only_box(), report(sub + "\\", 3, 3, 2));
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(hiding_bits(sub + "\\" + name), 0u) << name;

    // The log file is written at once, with the hidden entries in it.
    std::string log = read_file_bytes(log_dir_ + "\\KX_Log.txt");
    EXPECT_NE(log.find("2. " + sub + "\\\\c.txt\r\n"), std::string::npos);
    EXPECT_NE(log.find("--Конец.--"), std::string::npos);

    // Opened through the shell, never read as a command line.
    EXPECT_TRUE(exec_lines.empty());
    EXPECT_EQ(shell_files, std::vector<std::string>{sub + "\\"});
    EXPECT_EQ(shell_owners, std::vector<HWND>{MAIN_WINDOW});
}

TEST_F(HiddenFiles, EntriesAreResetOneLevelDeepWithTheSkipRules)
{
    make_file(dir_ + "\\read_only.txt", READ_ONLY);
    make_file(dir_ + "\\a..b", HIDDEN | READ_ONLY);  // passed over: not counted, not changed
    make_file(dir_ + "\\system.dll", SYSTEM);
    make_folder(dir_ + "\\Photos", HIDDEN | SYSTEM | READ_ONLY);
    make_file(dir_ + "\\Photos\\inner.jpg", HIDDEN | READ_ONLY);
    make_folder(dir_ + "\\Photos\\Deeper", HIDDEN);

    EXPECT_EQ(unhide_folder(dir_.c_str()), 1);

    struct Expect {
        const char *name;
        DWORD attributes;
    } after[] = {
        {"read_only.txt", 0},
        {"a..b", HIDDEN | READ_ONLY},
        {"system.dll", 0},
        {"Photos", 0},
        {"Photos\\inner.jpg", HIDDEN | READ_ONLY},
        {"Photos\\Deeper", HIDDEN},
    };
    for (const Expect &e : after)
        EXPECT_EQ(hiding_bits(dir_ + "\\" + e.name), e.attributes) << e.name;
    // Sorted, Photos comes before system.dll; the read-only file counts as visible, not hidden.
    std::vector<std::string> expected_log = {"Найдены скрытые файлы: ", "1. " + dir_ + "\\Photos",
                                             "2. " + dir_ + "\\system.dll"};
    EXPECT_EQ(logged_events(), expected_log);
    EXPECT_EQ(only_box(), report(dir_, 3, 3, 2));
    EXPECT_TRUE(log_file_written());
}

TEST_F(HiddenFiles, FolderWithoutHiddenEntriesIsReportedClean)
{
    make_file(dir_ + "\\read_only.txt", READ_ONLY);
    make_folder(dir_ + "\\Music", 0);

    EXPECT_EQ(unhide_folder(dir_.c_str()), 1);

    EXPECT_EQ(only_box(), clean_report(2));
    EXPECT_EQ(hiding_bits(dir_ + "\\read_only.txt"), 0u);
    EXPECT_TRUE(logged_events().empty());
    EXPECT_FALSE(log_file_written());
    EXPECT_EQ(shell_files, std::vector<std::string>{dir_});
}

TEST_F(HiddenFiles, EmptyOrUnreadableFolderIsReportedAndNothingOpens)
{
    make_folder(dir_ + "\\empty", 0);
    make_folder(dir_ + "\\only_skipped", 0);
    make_file(dir_ + "\\only_skipped\\x..y", HIDDEN);
    std::string too_long(600, 'p');  // longer than any folder the dialog can return
    struct Case {
        std::string folder;
        const char *message;
    } cases[] = {
        {dir_ + "\\empty", "Пустая папка...   "},
        {dir_ + "\\only_skipped", "Пустая папка...   "},
        {dir_ + "\\missing", "Данные получить невозможно.    "},
        {"C:\\" + too_long, "Данные получить невозможно.    "},
    };
    for (const Case &c : cases) {
        boxes.clear();
        EXPECT_EQ(unhide_folder(c.folder.c_str()), 0) << c.folder;
        EXPECT_EQ(only_box(), c.message) << c.folder;
    }
    EXPECT_EQ(hiding_bits(dir_ + "\\only_skipped\\x..y"), HIDDEN);
    EXPECT_TRUE(exec_lines.empty() && shell_files.empty());
    EXPECT_TRUE(logged_events().empty());
    EXPECT_FALSE(log_file_written());
}

TEST_F(HiddenFiles, FlashDriveRootWhoseFirstEntryIsAHiddenFolder)
{
    make_folder(dir_ + "\\drive", 0);
    make_folder(dir_ + "\\drive\\Documents", HIDDEN | SYSTEM);
    make_file(dir_ + "\\drive\\Documents\\report.doc", HIDDEN);
    make_file(dir_ + "\\drive\\Documents.lnk", ARCHIVE);
    text_copy(app.flash_root, "W:\\");
    answer_dialog_with("W:\\");
    int result;
    {
        ScopedDrive drive('W', dir_ + "\\drive", DRIVE_REMOVABLE);
        ASSERT_TRUE(drive.plugged_);
        EXPECT_EQ(GetDriveTypeA("W:\\"), (UINT)DRIVE_REMOVABLE);
        result = show_hidden_files();
    }

    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.initial_dir, "W:\\");
    // A root lists no "." entry: the hidden folder is the first entry of the search.
    std::vector<std::string> expected_log = {"Найдены скрытые файлы.", "1. W:\\\\Documents"};
    EXPECT_EQ(logged_events(), expected_log);
    EXPECT_EQ(only_box(), report("W:\\", 2, 2, 1));
    EXPECT_EQ(hiding_bits(dir_ + "\\drive\\Documents"), 0u);
    EXPECT_EQ(hiding_bits(dir_ + "\\drive\\Documents\\report.doc"), HIDDEN);
    EXPECT_EQ(shell_files, std::vector<std::string>{"W:\\"});
}

TEST_F(HiddenFiles, OpeningTheFolderNeverStartsAProgramBesideIt)
{
    // Read as a command line, "...\New folder\" names the program "...\New": a virus
    // on the drive called New.exe would start. A harmless waiting program stands in.
    const char *sleeper = getenv("KX_SLEEPER");
    ASSERT_NE(sleeper, nullptr) << "KX_SLEEPER is not set";
    std::string sleeper_path = std::string("Z:") + sleeper;
    for (char &c : sleeper_path)
        c = c == '/' ? '\\' : c;
    ASSERT_TRUE(CopyFileA(sleeper_path.c_str(), (dir_ + "\\New.exe").c_str(), FALSE));
    std::string folder = dir_ + "\\New folder\\";
    make_folder(folder, 0);
    make_file(folder + "photo.jpg", HIDDEN);

    EXPECT_EQ(unhide_folder(folder.c_str()), 1);

    EXPECT_TRUE(exec_lines.empty()) << "a program was started";
    EXPECT_EQ(shell_files, std::vector<std::string>{folder});
    EXPECT_EQ(hiding_bits(folder + "photo.jpg"), 0u);
}

TEST_F(HiddenFiles, LongNamesAreCountedRightEvenWhenTheyCannotBeReset)
{
    // A file system holds names of at most 255 characters; the ANSI calls take paths of
    // at most 259. The first name makes a path of exactly 259, the second goes past it.
    std::string folder = dir_ + "\\long";
    make_folder(folder, 0);
    std::string fits = folder + "\\" + std::string(259 - folder.size() - 1, 'f');
    std::string too_long = folder + "\\" + std::string(255, 'n');
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_TRUE(make_long_file(fits, HIDDEN));
    ASSERT_TRUE(make_long_file(too_long, HIDDEN | READ_ONLY));

    EXPECT_EQ(unhide_folder(folder.c_str()), 1);

    EXPECT_EQ(hiding_bits(fits), 0u);
    EXPECT_EQ(only_box(), report(folder, 2, 1, 2));  // one stayed hidden, and the box says so
    std::vector<std::string> expected_log = {"Найдены скрытые файлы: ", "1. " + fits, "2. " + too_long};
    EXPECT_EQ(logged_events(), expected_log);

    // A 250-character folder: the event text of its 255-character entry is cut to the
    // 500 characters an event holds, and the entry itself is left alone.
    std::string deep = dir_ + "\\" + std::string(250 - dir_.size() - 1, 'd');
    ASSERT_TRUE(make_long_folder(deep));
    ASSERT_TRUE(make_long_file(deep + "\\" + std::string(255, 'e'), SYSTEM));
    boxes.clear();
    EXPECT_EQ(unhide_folder(deep.c_str()), 1);
    EXPECT_EQ(only_box(), report(deep, 1, 0, 1));
    std::string line = app.events[0] + 11;
    EXPECT_EQ(line.size(), 500u);
    EXPECT_EQ(line, ("1. " + deep + "\\" + std::string(255, 'e')).substr(0, 500));
}

TEST_F(HiddenFiles, LinksAreNeverFollowedOutOfTheFolder)
{
    std::string outside = dir_ + "\\outside", chosen = dir_ + "\\chosen";
    make_folder(outside, 0);
    make_file(outside + "\\secret.txt", HIDDEN | SYSTEM | READ_ONLY);
    SetFileAttributesA(outside.c_str(), HIDDEN | READ_ONLY);
    make_folder(chosen, 0);
    make_file(chosen + "\\plain.txt", HIDDEN);
    DWORD outside_before = hiding_bits(outside);  // Wine keeps no read-only bit on folders
    ASSERT_NE(outside_before & HIDDEN, 0u);
    // Linux links to folders, which Wine lists as reparse points, like junctions.
    ASSERT_TRUE(make_unix_link("../outside", "escape", chosen));
    ASSERT_TRUE(make_unix_link("..", "up", chosen));
    ASSERT_NE(attributes_of(chosen + "\\escape") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    EXPECT_EQ(unhide_folder(chosen.c_str()), 1);

    // What the links lead to keeps every attribute; only the ordinary entry changed.
    EXPECT_EQ(hiding_bits(outside), outside_before);
    EXPECT_EQ(hiding_bits(outside + "\\secret.txt"), HIDDEN | SYSTEM | READ_ONLY);
    EXPECT_EQ(hiding_bits(dir_), 0u);
    EXPECT_EQ(hiding_bits(chosen + "\\plain.txt"), 0u);
    // Wine hands back a link's target however it is opened, so the links stay as they
    // were and are reported as not made visible.
    EXPECT_EQ(only_box(), report(chosen, 3, 1, 2));
    std::vector<std::string> expected_log = {"Найдены скрытые файлы: ", "1. " + chosen + "\\escape",
                                             "2. " + chosen + "\\plain.txt"};
    EXPECT_EQ(logged_events(), expected_log);
    EXPECT_NE(attributes_of(chosen + "\\up"), INVALID_FILE_ATTRIBUTES);
}

// Name of the n-th file of a large folder, in the order a search lists them.
static std::string numbered(const std::string &folder, int n)
{
    char name[16];
    text_format(name, "f%05d", n);
    return folder + "\\" + name;
}

static void make_hidden_files(const std::string &folder, int count)
{
    for (int n = 0; n < count; n++) {
        HANDLE file = CreateFileA(numbered(folder, n).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, HIDDEN, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << n;
        CloseHandle(file);
    }
}

// Hidden entries left in a folder, and entries in all.
static void count_entries(const std::string &folder, int *entries, int *hidden)
{
    *entries = *hidden = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        (*entries)++;
        *hidden += (found.dwFileAttributes & HIDDEN) != 0;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Deletes every odd-numbered file of a large folder, in the walk's own order, once the
// walk has begun: some go before the walk lists them, some between listing and reset,
// some after their reset.
struct Vanisher {
    std::string folder;
    int count;
    int deleted;
};

static DWORD WINAPI delete_during_walk(void *parameter)
{
    Vanisher *v = (Vanisher *)parameter;
    std::string first = numbered(v->folder, 0);
    DWORD deadline = GetTickCount() + 60000;
    while ((GetFileAttributesA(first.c_str()) & HIDDEN) && GetTickCount() < deadline)
        Sleep(0);
    for (int n = 1; n < v->count; n += 2)
        v->deleted += DeleteFileA(numbered(v->folder, n).c_str()) != FALSE;
    return 0;
}

// Wine looks for a name case-insensitively in the whole folder before it creates a file,
// so filling a large folder takes half a minute: one folder serves both walks.
TEST_F(HiddenFiles, TenThousandEntriesAndEntriesVanishingDuringTheWalk)
{
    make_hidden_files(dir_, 10000);
    DWORD start = GetTickCount();
    EXPECT_EQ(unhide_folder(dir_.c_str()), 1);
    printf("10000 hidden entries unhidden in %lu ms\n", (unsigned long)(GetTickCount() - start));

    EXPECT_EQ(only_box(), report(dir_, 10000, 10000, 10000));
    int entries, hidden;
    count_entries(dir_, &entries, &hidden);
    EXPECT_EQ(entries, 10000);
    EXPECT_EQ(hidden, 0);
    // The 21 newest events are the last 21 entries.
    std::vector<std::string> log = logged_events();
    ASSERT_EQ(log.size(), 21u);
    EXPECT_EQ(log.front(), "9980. " + numbered(dir_, 9979));
    EXPECT_EQ(log.back(), "10000. " + numbered(dir_, 9999));
    EXPECT_NE(read_file_bytes(log_dir_ + "\\KX_Log.txt").find("10000. "), std::string::npos);

    // Hidden again; half the entries are deleted while the walk runs.
    for (int n = 0; n < 10000; n++)
        SetFileAttributesA(numbered(dir_, n).c_str(), HIDDEN);
    boxes.clear();
    Vanisher vanisher = {dir_, 10000, 0};
    HANDLE thread = CreateThread(nullptr, 0, delete_during_walk, &vanisher, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(unhide_folder(dir_.c_str()), 1);
    WaitForSingleObject(thread, 120000);
    CloseHandle(thread);

    ASSERT_EQ(vanisher.deleted, 5000);

    // An entry deleted before its reset is not counted: no entry is reported as left
    // hidden, and the numbered log lines agree with the count of hidden entries.
    std::vector<int> counts = report_counts(only_box());
    int found = counts[0];
    printf("counted %d of 10000 entries, 5000 of them deleted during the walk\n", found);
    EXPECT_GE(found, 5000);
    EXPECT_LE(found, 10000);
    EXPECT_EQ(counts[1], found);
    EXPECT_EQ(counts[2], found);
    EXPECT_EQ(counts[3], 0);
    std::string newest = app.events[0] + 11;
    EXPECT_EQ(atoi(newest.c_str()), found) << newest;
    count_entries(dir_, &entries, &hidden);
    EXPECT_EQ(entries, 5000);
    EXPECT_EQ(hidden, 0);
}

// Presses a button of the real folder chooser once it shows.
struct DialogPress {
    int button;
    int pressed;
};

static DWORD WINAPI press_in_dialog(void *parameter)
{
    DialogPress *press = (DialogPress *)parameter;
    for (int tries = 0; tries < 600 && !press->pressed; tries++) {  // up to 30 s on a busy machine
        HWND window = FindWindowA(nullptr, "Откройте диск или папку.");
        if (window) {
            Sleep(300);  // let the dialog fill its folder view
            PostMessageA(window, WM_COMMAND, press->button, 0);
            press->pressed = 1;
        }
        Sleep(50);
    }
    return 0;
}

TEST_F(HiddenFiles, RealDialogReturnsTheFolderItWasOpenedIn)
{
    HWND probe = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        GTEST_SKIP() << "no display";
    DestroyWindow(probe);
    reset_seams();
    seam_message_box = fake_message_box;
    seam_create_process = fake_create_process;
    seam_shell_execute = fake_shell_execute;
    app.main_window = nullptr;
    // Wine's dialog keeps watching the folder it showed until the process ends, so that
    // folder cannot be removed: it is one fixed folder, emptied after use.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string chooser = std::string(temp) + "kx_hidden_dialog";
    CreateDirectoryA(chooser.c_str(), nullptr);
    make_file(chooser + "\\hidden.txt", HIDDEN);
    text_copy(app.desktop_dir, chooser.c_str());

    for (int button : {IDCANCEL, IDOK}) {
        DialogPress press = {button, 0};
        HANDLE thread = CreateThread(nullptr, 0, press_in_dialog, &press, 0, nullptr);
        int result = show_hidden_files();
        WaitForSingleObject(thread, 20000);
        CloseHandle(thread);
        ASSERT_TRUE(press.pressed);
        EXPECT_EQ(result, button == IDOK ? 1 : 0);
    }
    // Open pressed in the initial folder: that folder, with its backslash, was unhidden.
    EXPECT_EQ(only_box(), report(chooser + "\\", 1, 1, 1));
    EXPECT_EQ(hiding_bits(chooser + "\\hidden.txt"), 0u);
    EXPECT_EQ(shell_files, std::vector<std::string>{chooser + "\\"});
    DeleteFileA((chooser + "\\hidden.txt").c_str());
}
