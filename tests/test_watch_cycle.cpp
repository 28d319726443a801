// The drive watch cycle over real simulated drives, plugged and pulled through Wine's
// mount manager while the test runs; FileList is a real list view read back row by row.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "drives/watch_cycle.h"
#include "test_support.h"
#include "unix_links.h"
#include "tools/mount_drive.h"

static std::vector<std::string> file_rows(HWND list)
{
    std::vector<std::string> rows;
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; row++) {
        std::string line;
        for (int column = 0; column < 4; column++) {
            char text[600] = "";
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)&item);
            line += (column ? "|" : "") + std::string(text);
        }
        rows.push_back(line);
    }
    return rows;
}

static DWORD locked_letters;  // bit per drive letter whose volume reports read-only

static BOOL WINAPI volume_with_lock(LPCSTR root, LPSTR name, DWORD name_size, LPDWORD serial, LPDWORD length,
                                    LPDWORD flags, LPSTR file_system, DWORD file_system_size)
{
    BOOL ok = GetVolumeInformationA(root, name, name_size, serial, length, flags, file_system, file_system_size);
    if (ok && (locked_letters & (1u << (root[0] - 'A'))))
        *flags |= FILE_READ_ONLY_VOLUME;
    return ok;
}

class WatchCycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(init_app_state(), 1);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        list_ = CreateWindowExA(0, "SysListView32", "", WS_POPUP | LVS_REPORT, 0, 0, 500, 170, nullptr, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(list_, nullptr);
        const char *titles[] = {"N", "Адрес файла", "Примечание", "Когда изменен"};
        for (int i = 0; i < 4; i++) {
            LVCOLUMNA column = {};
            column.mask = LVCF_TEXT | LVCF_SUBITEM | LVCF_WIDTH;
            column.pszText = (char *)titles[i];
            column.iSubItem = i;
            column.cx = 100;
            SendMessageA(list_, LVM_INSERTCOLUMNA, i, (LPARAM)&column);
        }
        root_ = make_scratch_dir("drives");
        locked_letters = 0;
        seam_get_volume_information = volume_with_lock;
    }
    void TearDown() override
    {
        for (char letter : plugged_)
            define_simulated_drive(letter, DRIVE_PULLED, nullptr);
        reset_seams();
        DestroyWindow(list_);
        remove_tree(root_);
    }
    // A new folder standing for a drive's medium; returns its Windows path.
    std::string medium(const char *name)
    {
        std::string path = root_ + "\\" + name;
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }
    void plug(char letter, const std::string &folder, SimulatedDrive kind = DRIVE_PLUGGED_REMOVABLE)
    {
        ASSERT_TRUE(define_simulated_drive(letter, kind, unix_path(folder).c_str()));
        plugged_.push_back(letter);
    }
    void pull(char letter) { define_simulated_drive(letter, DRIVE_PULLED, nullptr); }
    void scan(int mode)
    {
        LVITEMA item = {};
        scan_removable_drives(list_, item, mode);
    }
    HWND list_ = nullptr;
    std::string root_;
    std::vector<char> plugged_;
};

static bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The newest event's text without its time: the summary of the latest pass.
static std::string last_summary()
{
    const char *text = strstr(app.events[0], "   ");
    return text ? text + 3 : "";
}

TEST_F(WatchCycleTest, NoRemovableDriveIsClean)
{
    scan(SCAN_LOOK);
    EXPECT_EQ(last_summary(), "Файлы autorun.* не найдены. Чисто.");
    EXPECT_STREQ(app.flash_root, "");
    EXPECT_STREQ(app.last_removable_root, "");
    EXPECT_STREQ(app.removable_letters, "");
    EXPECT_EQ(app.reinfection_count, 0);
    EXPECT_EQ(app.drive_count, 1);  // C: only
    EXPECT_TRUE(file_rows(list_).empty());
    EXPECT_NE(strstr(app.events[0], "Файлы autorun.* не найдены. Чисто."), nullptr);
}

TEST_F(WatchCycleTest, DrivesAtStartThenComingAndGoing)
{
    std::string e = medium("E"), g = medium("G");
    plug('E', e);
    plug('G', g);
    scan(SCAN_LOOK);
    EXPECT_STREQ(app.flash_root, "E:\\");
    EXPECT_STREQ(app.last_removable_root, "G:\\");
    EXPECT_STREQ(app.removable_letters, "EG");
    // The look pass gives both drives their protection folder.
    EXPECT_EQ(last_summary(), "Файлы autorun.* не найдены. Чисто.  Создана папка защиты.");
    EXPECT_TRUE(exists(e + "\\autorun.inf\\info.txt"));
    EXPECT_TRUE(exists(g + "\\autorun.inf\\info.txt"));
    EXPECT_EQ(file_rows(list_).size(), 2u);

    scan(SCAN_LOOK);  // nothing changed: the folders are recognised, flash_root stays
    EXPECT_EQ(last_summary(), "Файлы autorun.* не найдены. Чисто.");
    EXPECT_STREQ(app.flash_root, "E:\\");

    std::string f = medium("F");
    plug('F', f);
    scan(SCAN_LOOK);
    EXPECT_STREQ(app.flash_root, "F:\\");
    EXPECT_STREQ(app.removable_letters, "EFG");

    // One pulled and another plugged between two passes: same count, flash_root kept.
    pull('G');
    plug('H', medium("H"));
    scan(SCAN_LOOK);
    EXPECT_STREQ(app.flash_root, "F:\\");
    EXPECT_STREQ(app.last_removable_root, "H:\\");

    pull('E');
    scan(SCAN_LOOK);
    EXPECT_STREQ(app.flash_root, "");
    EXPECT_STREQ(app.removable_letters, "FH");
}

TEST_F(WatchCycleTest, FixedUsbDiskIsSweptWithoutFolderAndEmptiesFlashRoot)
{
    std::string e = medium("E");
    plug('E', e);
    scan(SCAN_LOOK);
    EXPECT_STREQ(app.flash_root, "E:\\");
    std::string disk = medium("USB");
    write_file_bytes(disk + "\\autorun.inf", "[autorun]\r\nopen=virus.exe\r\n");
    plug('K', disk, DRIVE_PLUGGED_FIXED);
    scan(SCAN_LOOK);
    EXPECT_STREQ(app.flash_root, "");  // more drives, no more removable letters
    EXPECT_EQ(last_summary(), "Найдено файлов autorun.*: 1.");
    EXPECT_FALSE(exists(disk + "\\autorun.inf\\info.txt"));
    scan(SCAN_ACT);
    EXPECT_FALSE(exists(disk + "\\autorun.inf") && !exists(disk + "\\autorun.inf\\info.txt"));
    EXPECT_TRUE(exists(disk + "\\autorun.inf\\info.txt"));  // deleted there, so protected there
}

TEST_F(WatchCycleTest, HiddenAutorunFoundByLookAndRemovedByAct)
{
    std::string e = medium("E");
    write_file_bytes(e + "\\autorun.inf", "[autorun]\r\nopen=virus.exe\r\n");
    SetFileAttributesA((e + "\\autorun.inf").c_str(), FILE_ATTRIBUTE_HIDDEN);
    plug('E', e);
    app.drive_count = 1;  // C: was there before: E: is the new drive
    scan(SCAN_LOOK);
    EXPECT_EQ(app.autoruns_found, 1);
    std::vector<std::string> rows = file_rows(list_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].substr(0, rows[0].rfind('|')), "1|E:\\autorun.inf|скрытый");
    EXPECT_EQ(last_summary(), "Найдено файлов autorun.*: 1.");

    scan(SCAN_ACT);
    rows = file_rows(list_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], "0|E:\\autorun.inf (папка защиты)|съемный диск| ");
    EXPECT_EQ(last_summary(), "Найдено ауторанов: 1. Удалено: 1  Создана папка защиты.");
    EXPECT_EQ(app.reinfection_count, 0);  // one deletion is no sign of a live infection yet
    EXPECT_TRUE(exists(e + "\\autorun.inf\\info.txt"));
    EXPECT_NE(strstr(app.events[0], "Найдено ауторанов: 1. Удалено: 1  Создана папка защиты."), nullptr);
}

TEST_F(WatchCycleTest, NamesWithParenthesesAreNotNumbered)
{
    LVITEMA item = {};
    app.file_list_counter = 0;
    EXPECT_EQ(add_file_rows(list_, item, "autorun(1).inf||\nautorun.exe||\n", "E:"), 1);
    std::vector<std::string> rows = file_rows(list_);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "1|E:\\autorun.exe||");
    EXPECT_EQ(rows[1], "0|E:\\autorun(1).inf||");
    EXPECT_EQ(app.file_list_counter, 1);
}

TEST_F(WatchCycleTest, ReinfectionCountsDeletedFilesThatComeBack)
{
    std::string e = medium("E");
    plug('E', e);
    // The first deletion is no sign of a live infection yet; each return is.
    for (int pass = 0; pass <= 3; pass++) {
        write_file_bytes(e + "\\autorun.exe", "virus");
        scan(SCAN_ACT);
        EXPECT_EQ(app.reinfection_count, pass);
        EXPECT_FALSE(exists(e + "\\autorun.exe"));
    }
    EXPECT_EQ(termination_due(), 1);
    EXPECT_EQ(app.reinfection_count, 0);
    scan(SCAN_LOOK);
    EXPECT_EQ(app.reinfection_count, 0);
    // A clean pass in between: the next deletion starts again from nothing.
    write_file_bytes(e + "\\autorun.exe", "virus");
    scan(SCAN_ACT);
    EXPECT_EQ(app.reinfection_count, 0);
}

TEST_F(WatchCycleTest, FilesTheSweepLeavesAloneNeverCountAsReinfection)
{
    std::string e = medium("E"), outside = medium("outside");
    write_file_bytes(outside + "\\precious.doc", "outside the drive");
    ASSERT_TRUE(make_unix_link(e + "\\autorun.inf", outside + "\\precious.doc"));
    ASSERT_TRUE(make_unix_link(e + "\\autorun.exe", outside));
    plug('E', e);
    for (int pass = 1; pass <= 6; pass++) {
        scan(SCAN_LOOK);
        ASSERT_EQ(app.autoruns_found, 1) << pass;
        scan(SCAN_ACT);
        EXPECT_EQ(last_summary(), "Найдено ауторанов: 1. Удалено: 0") << pass;
        EXPECT_EQ(app.reinfection_count, 0) << pass;
        EXPECT_EQ(termination_due(), 0) << pass;
    }
    // The act pass still shows the file it leaves.
    std::vector<std::string> rows = file_rows(list_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].substr(0, rows[0].rfind('|')), "1|E:\\autorun.inf|");
    EXPECT_EQ(read_file_bytes(outside + "\\precious.doc"), "outside the drive");
    pull('E');
    run_unix_command({"rm", unix_path(e + "\\autorun.inf"), unix_path(e + "\\autorun.exe")});
}

TEST_F(WatchCycleTest, HeldFileEscalatesOnceUntilItChangesOrTheDriveComesAgain)
{
    std::string e = medium("E");
    write_file_bytes(e + "\\autorun.exe", "virus");
    HANDLE held = CreateFileA((e + "\\autorun.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    plug('E', e);
    auto act_passes_until_due = [&](int limit) {
        for (int pass = 1; pass <= limit; pass++) {
            scan(SCAN_ACT);
            if (termination_due())
                return pass;
        }
        return 0;
    };
    // A process holds the file: each act pass counts, the third calls for a termination pass.
    EXPECT_EQ(act_passes_until_due(5), 3);
    // The pass did not free the file: the same file never calls for another one.
    EXPECT_EQ(act_passes_until_due(12), 0);
    EXPECT_TRUE(exists(e + "\\autorun.exe"));

    // Pulled and plugged again: one more try.
    pull('E');
    scan(SCAN_LOOK);
    plug('E', e);
    EXPECT_EQ(act_passes_until_due(5), 3);
    EXPECT_EQ(act_passes_until_due(5), 0);

    // Another held file beside it: the files left in place have changed.
    write_file_bytes(e + "\\autorun.bat", "virus");
    HANDLE second = CreateFileA((e + "\\autorun.bat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_GT(act_passes_until_due(5), 0);
    CloseHandle(second);
    CloseHandle(held);
    scan(SCAN_ACT);
    EXPECT_FALSE(exists(e + "\\autorun.exe"));
    EXPECT_EQ(app.reinfection_count, 0);
}

TEST_F(WatchCycleTest, SummaryIsLoggedEvenWhenABoxOfThePassOverwritesScratch)
{
    // The registry report of a manual check is a message box; another handler may run inside it.
    seam_message_box = [](HWND, LPCSTR, LPCSTR, UINT) {
        text_copy(app.scratch, "written by another handler");
        return IDOK;
    };
    app.manual_scan = 1;
    scan(SCAN_LOOK);
    app.manual_scan = 0;
    EXPECT_EQ(last_summary(), "Файлы autorun.* не найдены. Чисто.");
}

TEST_F(WatchCycleTest, WriteProtectedDriveIsOnlyListed)
{
    std::string e = medium("E");
    write_file_bytes(e + "\\autorun.exe", "virus");
    plug('E', e);
    locked_letters = 1u << ('E' - 'A');
    app.monitoring = 1;
    scan(SCAN_LOOK);
    EXPECT_EQ(app.monitoring, 1);
    scan(SCAN_ACT);
    std::vector<std::string> rows = file_rows(list_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].substr(0, rows[0].rfind('|')), "1|E:\\autorun.exe|LOCK");
    EXPECT_EQ(last_summary(), "Найдено ауторанов: 1. Удалено: 0.   Флешка защищена от записи (LOCK)");
    EXPECT_EQ(app.monitoring, 0);
    EXPECT_EQ(app.reinfection_count, 0);
    EXPECT_TRUE(exists(e + "\\autorun.exe"));
    EXPECT_FALSE(exists(e + "\\autorun.inf"));
}

TEST_F(WatchCycleTest, DriveWhoseRootCannotBeListedIsPassedOver)
{
    // A slot with no medium, or a root that cannot be read: the pass still finishes.
    ASSERT_TRUE(define_simulated_drive('M', DRIVE_PLUGGED_REMOVABLE, "/nonexistent/kx-no-medium"));
    plugged_.push_back('M');
    std::string e = medium("E");
    write_file_bytes(e + "\\autorun.exe", "virus");
    plug('E', e);
    scan(SCAN_ACT);
    EXPECT_FALSE(exists(e + "\\autorun.exe"));
    EXPECT_EQ(last_summary(), "Найдено ауторанов: 1. Удалено: 1  Создана папка защиты.");
}

TEST_F(WatchCycleTest, AddFileRowsParsesRecordsAndDropsAPartialLine)
{
    LVITEMA item = {};
    app.file_list_counter = 0;
    int numbered = add_file_rows(list_, item,
                                 "autorun.inf|скрытый|10:00:00,  01.01.2013\n"
                                 "autorun.inf (папка защиты)|съемный диск| \n"
                                 "autorun.exe||\n"
                                 "partial|no line end",
                                 "E:");
    EXPECT_EQ(numbered, 2);
    std::vector<std::string> rows = file_rows(list_);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "2|E:\\autorun.exe||");
    EXPECT_EQ(rows[1], "0|E:\\autorun.inf (папка защиты)|съемный диск| ");
    EXPECT_EQ(rows[2], "1|E:\\autorun.inf|скрытый|10:00:00,  01.01.2013");

    // Fields longer than their buffers are cut for display, never overrun.
    std::string huge = std::string(2000, 'n') + "|" + std::string(300, 'o') + "|" + std::string(300, 't') + "\n";
    add_file_rows(list_, item, huge.c_str(), "E:");
    EXPECT_EQ(file_rows(list_).size(), 4u);
}

TEST(FindNewDrive, FirstLetterMissingFromThePreviousPass)
{
    struct Case {
        const char *previous, *current;
        int result;
        const char *flash_root;
    } cases[] = {
        {"", "EG", 1, "E:\\"}, {"E", "EF", 1, "F:\\"}, {"EF", "EF", 0, ""},
        {"EFG", "EF", 0, ""},  {"EG", "EFG", 1, "F:\\"}, {"", "", 0, ""},
    };
    for (const Case &c : cases) {
        strcpy(app.flash_root, "X:\\");
        EXPECT_EQ(find_new_drive(c.previous, c.current), c.result) << c.previous << "->" << c.current;
        EXPECT_STREQ(app.flash_root, c.flash_root) << c.previous << "->" << c.current;
    }
}

// A drive pulled in the middle of a pass: the volume query of one drive pulls another (or the
// same one, right after it answered), so the pull falls between the drive list and the sweep.
static struct {
    char asked;       // the drive whose volume query pulls
    char pulled;      // the drive it pulls
    bool after;       // pull after the real query answered
    bool happened;    // the pull took effect inside the pass
} pull_plan;

static BOOL WINAPI volume_with_pull(LPCSTR root, LPSTR name, DWORD name_size, LPDWORD serial, LPDWORD length,
                                    LPDWORD flags, LPSTR file_system, DWORD file_system_size)
{
    bool now = root[0] == pull_plan.asked && !pull_plan.happened;
    char pulled_root[] = {pull_plan.pulled, ':', '\\', '\0'};
    if (now && !pull_plan.after)
        pull_plan.happened = pull_drive(pull_plan.pulled) && GetDriveTypeA(pulled_root) == DRIVE_NO_ROOT_DIR;
    BOOL ok = GetVolumeInformationA(root, name, name_size, serial, length, flags, file_system, file_system_size);
    if (now && pull_plan.after)
        pull_plan.happened = pull_drive(pull_plan.pulled) && GetDriveTypeA(pulled_root) == DRIVE_NO_ROOT_DIR;
    return ok;
}

TEST_F(WatchCycleTest, DrivePulledInTheMiddleOfAPass)
{
    struct Case {
        const char *what;
        int mode;
        char asked;
        bool after;
        int drives;             // drives counted by the pass (C:, E: and maybe G:)
        const char *letters;
    } cases[] = {
        {"look, G: pulled while E: is examined", SCAN_LOOK, 'E', false, 2, "E"},
        {"act, G: pulled while E: is examined", SCAN_ACT, 'E', false, 2, "E"},
        {"look, G: pulled right after it answered", SCAN_LOOK, 'G', true, 3, "EG"},
        {"act, G: pulled right after it answered", SCAN_ACT, 'G', true, 3, "EG"},
    };
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    int round = 0;
    for (const Case &c : cases) {
        round++;
        std::string e = medium(("E" + std::to_string(round)).c_str());
        std::string g = medium(("G" + std::to_string(round)).c_str());
        write_file_bytes(e + "\\autorun.exe", "virus");
        write_file_bytes(g + "\\autorun.exe", "virus");
        write_file_bytes(g + "\\photo.jpg", "photo");
        plug('E', e);
        plug('G', g);
        pull_plan = {c.asked, 'G', c.after, false};
        seam_get_volume_information = volume_with_pull;
        app.drive_count = 0;
        app.removable_letters[0] = '\0';
        scan(c.mode);
        EXPECT_TRUE(pull_plan.happened) << c.what;
        EXPECT_EQ(app.drive_count, c.drives) << c.what;
        EXPECT_STREQ(app.removable_letters, c.letters) << c.what;
        std::string last_root = std::string(1, c.letters[strlen(c.letters) - 1]) + ":\\";
        EXPECT_EQ(app.last_removable_root, last_root) << c.what;
        EXPECT_EQ(app.autoruns_found, 1) << c.what;               // E:'s file only
        EXPECT_EQ(app.autoruns_deleted, c.mode == SCAN_ACT ? 1 : 0) << c.what;
        std::vector<std::string> rows = file_rows(list_);
        for (const std::string &row : rows)
            EXPECT_EQ(row.find("G:"), std::string::npos) << c.what << ": " << row;
        // Look: E:'s file and its new folder; act: only the folder.
        EXPECT_EQ(rows.size(), c.mode == SCAN_ACT ? 1u : 2u) << c.what;
        EXPECT_EQ(exists(e + "\\autorun.exe"), c.mode != SCAN_ACT) << c.what;
        // The pulled drive's medium is as it was, and nothing landed in the working folder.
        EXPECT_EQ(read_file_bytes(g + "\\autorun.exe"), "virus") << c.what;
        EXPECT_EQ(read_file_bytes(g + "\\photo.jpg"), "photo") << c.what;
        EXPECT_FALSE(exists(g + "\\autorun.inf")) << c.what;
        EXPECT_FALSE(exists(std::string(cwd) + "\\autorun.inf")) << c.what;
        scan(SCAN_LOOK);  // the next pass knows G: is gone
        EXPECT_STREQ(app.removable_letters, "E") << c.what;
        EXPECT_STREQ(app.last_removable_root, "E:\\") << c.what;
        pull('E');
    }
}
