// Autorun removal and the protection folder, on real files under Wine. Folders
// stand for drive roots (a sweep takes the location path and the removable flag
// from its caller); the drive-root tests map real drive letters to them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "drives/protection_folder.h"
#include "kx_product.h"
#include "test_support.h"
#include "unix_links.h"

static const char FOLDER_RECORD_REMOVABLE[] = "autorun.inf (папка защиты)|съемный диск| \n";
static const char FOLDER_RECORD_FIXED[] = "autorun.inf (папка защиты)| | \n";
static const char KNOWN_TIME_TEXT[] = "07:05:09,  03.11.2012";

static std::string expected_note()
{
    return "Этот файл и папка \"autorun.inf\", в которой он находится,\r\n"
           "созданы программой Kestrix (" KX_WEB_DOMAIN ").\r\n"
           "Папка позволяет защитить флешку от автозапуска программ\r\n"
           "(в том числе вирусов).\r\n"
           "Этот файл препятствует удалению папки вирусами.\r\n"
           "При необходимости вы можете удалить её вручную.\r\n"
           "\r\n"
           "Файл \"kestrix.exe\" - это сама программа.\r\n"
           "Вы можете использовать её для защиты флешек,\r\n"
           "карт памяти, mp3-4-плееров и т.п. от вирусов.\r\n"
           "\r\n"
           "Подробную информацию о программе можно найти на сайте\r\n"
           KX_WEB_DOMAIN "        .\r\n"
           "\r\n"
           "Версия файла программы: 4.3.2013.3\r\n"
           "***\r\n";
}

static FILETIME file_time_from_local(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    local.wMinute = minute;
    local.wSecond = second;
    FILETIME local_time, utc;
    SystemTimeToFileTime(&local, &local_time);
    LocalFileTimeToFileTime(&local_time, &utc);
    return utc;
}

static const FILETIME KNOWN_TIME = file_time_from_local(2012, 11, 3, 7, 5, 9);

static DWORD attributes(const std::string &path)
{
    return GetFileAttributesA(path.c_str());
}

static bool exists(const std::string &path)
{
    return attributes(path) != INVALID_FILE_ATTRIBUTES;
}

// A file with the given attributes and the known last-write time.
static void make_file(const std::string &path, DWORD file_attributes = 0, const std::string &content = "virus")
{
    write_file_bytes(path, content);
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    SetFileTime(file, nullptr, nullptr, &KNOWN_TIME);
    CloseHandle(file);
    if (file_attributes)
        SetFileAttributesA(path.c_str(), file_attributes);
}

static void make_dir(const std::string &path, DWORD dir_attributes = 0)
{
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
    if (dir_attributes)
        SetFileAttributesA(path.c_str(), dir_attributes);
}

// Names in a folder, through the wide API so that any name shows.
static std::vector<std::wstring> names_in(const std::string &dir)
{
    std::vector<std::wstring> names;
    wchar_t pattern[1024];
    MultiByteToWideChar(CP_ACP, 0, (dir + "\\*").c_str(), -1, pattern, 1024);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

static std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start + 1));
    EXPECT_EQ(start, text.size()) << "text after the last line feed";
    return lines;
}

static FILETIME last_write_time(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

struct SweepResult {
    int count;
    int deleted;
    int folder_state;
    std::string records;
};

// The record buffer with a guard behind it that must never change.
struct GuardedRecords {
    char records[RECORD_TEXT_SIZE];
    char guard[64];
};

static SweepResult sweep(const std::string &location, int mode, bool removable)
{
    GuardedRecords buffer;
    memset(&buffer, 0x5A, sizeof buffer);
    buffer.records[0] = '\0';
    SweepResult result = {};
    result.deleted = -1;
    result.count = sweep_location(location.c_str(), "autorun.*", mode, buffer.records, &result.deleted,
                                  removable ? 1 : 0, &result.folder_state);
    EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(sizeof buffer.guard, 0x5A));
    EXPECT_LT(strnlen(buffer.records, sizeof buffer.records), sizeof buffer.records);
    result.records = buffer.records;
    return result;
}

class ProtectionFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = app;
        root_ = make_scratch_dir("drive");
        folder_ = root_ + "\\autorun.inf";
        info_ = folder_ + "\\info.txt";
        copy_ = folder_ + "\\kestrix.exe";
        program_ = kestrix_exe_path();
        ASSERT_FALSE(program_.empty()) << "KX_EXE is not set";
        text_copy(app.settings, "000000");
        text_copy(app.exe_path, program_.c_str());
        read_file_version(app.exe_path, app.program_version, sizeof app.program_version);
        ASSERT_STREQ(app.program_version, "4, 3, 2013, 3");
    }
    void TearDown() override
    {
        remove_tree(root_);
        app = saved_;
    }
    AppState saved_;
    std::string root_, folder_, info_, copy_, program_;
};

TEST(AttributeNote, FirstOfHiddenSystemReadOnlyWins)
{
    struct Case {
        DWORD attributes;
        int result;
        const char *note;
    } cases[] = {
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, 1, "скрытый"},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 1, "системный"},
        {FILE_ATTRIBUTE_READONLY, 1, "защищен"},
        {FILE_ATTRIBUTE_ARCHIVE, 0, ""},
        {0, 0, ""},
    };
    for (const Case &c : cases) {
        char note[32] = "junk";
        EXPECT_EQ(attribute_note(c.attributes, note, sizeof note), c.result) << c.attributes;
        EXPECT_STREQ(note, c.note) << c.attributes;
    }
    char small[4] = "abc";
    EXPECT_EQ(attribute_note(FILE_ATTRIBUTE_HIDDEN, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}

TEST(FormatFileTime, PadsSingleDigitFieldsAndRejectsWhatCannotBeConverted)
{
    struct Case {
        FILETIME time;
        const char *text;
    } cases[] = {
        {KNOWN_TIME, KNOWN_TIME_TEXT},
        {file_time_from_local(2013, 12, 25, 10, 11, 12), "10:11:12,  25.12.2013"},
        {file_time_from_local(2001, 1, 1, 0, 0, 0), "00:00:00,  01.01.2001"},
        {file_time_from_local(2020, 10, 10, 9, 59, 10), "09:59:10,  10.10.2020"},
    };
    for (const Case &c : cases) {
        char text[64] = "junk";
        EXPECT_EQ(format_file_time(&c.time, text, sizeof text), 1);
        EXPECT_STREQ(text, c.text);
    }
    FILETIME beyond = {0xFFFFFFFF, 0xFFFFFFFF};
    char text[64] = "junk";
    EXPECT_EQ(format_file_time(&beyond, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    char small[10] = "junk";
    EXPECT_EQ(format_file_time(&KNOWN_TIME, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}

TEST_F(ProtectionFolderTest, ForceDeleteFileResetsAttributesFirst)
{
    for (DWORD file_attributes : {0ul, (DWORD)FILE_ATTRIBUTE_HIDDEN, (DWORD)FILE_ATTRIBUTE_READONLY,
                                  (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY)}) {
        std::string path = root_ + "\\victim.inf";
        make_file(path, file_attributes);
        EXPECT_EQ(force_delete_file(path.c_str()), 1) << file_attributes;
        EXPECT_FALSE(exists(path)) << file_attributes;
    }
    EXPECT_EQ(force_delete_file((root_ + "\\missing").c_str()), 0);

    std::string dir = root_ + "\\dir.inf";
    make_dir(dir);
    EXPECT_EQ(force_delete_file(dir.c_str()), 0);
    EXPECT_TRUE(exists(dir));

    // Held open without FILE_SHARE_DELETE: the reset works, the deletion does not.
    std::string held = root_ + "\\held.inf";
    make_file(held, FILE_ATTRIBUTE_HIDDEN);
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(force_delete_file(held.c_str()), 0);
    CloseHandle(handle);
    EXPECT_TRUE(exists(held));
}

TEST_F(ProtectionFolderTest, FolderNoteIsExactCodePage1251WithCrLf)
{
    std::string path = root_ + "\\info.txt";
    ASSERT_EQ(write_folder_note(path.c_str()), 1);
    std::string bytes = read_file_bytes(path);
    EXPECT_EQ(bytes, expected_note());
    EXPECT_EQ(bytes.substr(0, 4), "\xDD\xF2\xEE\xF2");  // "Этот" in code page 1251

    // A longer, hidden, read-only file is reset and truncated.
    write_file_bytes(path, std::string(5000, 'x'));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(write_folder_note(path.c_str()), 1);
    EXPECT_EQ(read_file_bytes(path), expected_note());

    // A note that is already right is not written again: its time stays.
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME old_time = {0x12345678, 0x01C00000};
    SetFileTime(file, nullptr, nullptr, &old_time);
    CloseHandle(file);
    ASSERT_EQ(write_folder_note(path.c_str()), 1);
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, old_time.dwHighDateTime);
    // One byte more, and it is rewritten.
    write_file_bytes(path, expected_note() + " ");
    ASSERT_EQ(write_folder_note(path.c_str()), 1);
    EXPECT_EQ(read_file_bytes(path), expected_note());

    EXPECT_EQ(write_folder_note((root_ + "\\missing\\info.txt").c_str()), 0);
    make_dir(root_ + "\\dir.txt");
    EXPECT_EQ(write_folder_note((root_ + "\\dir.txt").c_str()), 0);
}

TEST(AppendFileRecord, WholeRecordsOnlyAndNeverPastTheBuffer)
{
    GuardedRecords buffer;
    memset(&buffer, 0x5A, sizeof buffer);
    buffer.records[0] = '\0';
    std::string name(259, 'n');  // the longest name a directory search returns
    std::string line = name + "|системный|" + KNOWN_TIME_TEXT + "\n";
    size_t fitting = (RECORD_TEXT_SIZE - 1) / line.size();
    for (size_t i = 0; i < fitting; i++)
        ASSERT_EQ(append_file_record(buffer.records, name.c_str(), "системный", KNOWN_TIME_TEXT), 1);
    EXPECT_EQ(append_file_record(buffer.records, name.c_str(), "системный", KNOWN_TIME_TEXT), 0);
    EXPECT_EQ(strlen(buffer.records), fitting * line.size());

    // Fill to the last byte: a record that needs exactly the room left fits, one byte more does not.
    size_t room = RECORD_TEXT_SIZE - 1 - strlen(buffer.records);
    std::string exact(room - 3, 'e');
    std::string over(room - 2, 'o');
    EXPECT_EQ(append_file_record(buffer.records, over.c_str(), "", ""), 0);
    EXPECT_EQ(append_file_record(buffer.records, exact.c_str(), "", ""), 1);
    EXPECT_EQ(strlen(buffer.records), (size_t)RECORD_TEXT_SIZE - 1);
    EXPECT_EQ(append_file_record(buffer.records, "", "", ""), 0);
    EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(sizeof buffer.guard, 0x5A));

    // A buffer that is not a terminated text is left alone.
    memset(buffer.records, 'x', sizeof buffer.records);
    EXPECT_EQ(append_file_record(buffer.records, "a", "b", "c"), 0);
    EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(sizeof buffer.guard, 0x5A));
}

TEST_F(ProtectionFolderTest, LookPassOnRemovableDriveCreatesTheFolderOnce)
{
    SweepResult first = sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(first.deleted, 0);
    EXPECT_EQ(first.folder_state, FOLDER_CREATED);
    EXPECT_EQ(first.records, FOLDER_RECORD_REMOVABLE);
    EXPECT_EQ(attributes(folder_), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(read_file_bytes(info_), expected_note());
    EXPECT_FALSE(exists(copy_));

    write_file_bytes(info_, "mine");
    SweepResult second = sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(second.count, 0);
    EXPECT_EQ(second.folder_state, FOLDER_PRESENT);
    EXPECT_EQ(second.records, FOLDER_RECORD_REMOVABLE);
    EXPECT_EQ(read_file_bytes(info_), "mine");  // nothing written
    EXPECT_FALSE(exists(copy_));

    // A look pass on a fixed location never creates a folder.
    std::string fixed = make_scratch_dir("fixed");
    SweepResult plain = sweep(fixed, SWEEP_LOOK, false);
    EXPECT_EQ(plain.folder_state, FOLDER_NONE);
    EXPECT_EQ(plain.records, "");
    EXPECT_TRUE(names_in(fixed).empty());
    remove_tree(fixed);
}

TEST_F(ProtectionFolderTest, ProgramCopyIsMadeOnceAndReplacedUnlessItHoldsTheProgramsBytes)
{
    const std::string program_bytes = read_file_bytes(program_);
    ASSERT_GT(program_bytes.size(), 10000u);
    sweep(root_, SWEEP_LOOK, true);  // the folder exists, without a copy
    ASSERT_FALSE(exists(copy_));

    // Only an option character of exactly "1" asks for the copy.
    text_copy(app.settings, "002000");
    write_file_bytes(info_, "mine");
    sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(read_file_bytes(info_), "mine");
    EXPECT_FALSE(exists(copy_));

    text_copy(app.settings, "001000");
    EXPECT_EQ(sweep(root_, SWEEP_LOOK, true).folder_state, FOLDER_PRESENT);
    EXPECT_EQ(read_file_bytes(info_), expected_note());
    EXPECT_EQ(read_file_bytes(copy_), program_bytes);

    // The copy holds the program's bytes: only info.txt is written; an old time on the copy
    // shows it was not copied again.
    auto age_copy = [&] {
        HANDLE file = CreateFileA(copy_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        SetFileTime(file, nullptr, nullptr, &KNOWN_TIME);
        CloseHandle(file);
    };
    auto copy_is_aged = [&] {
        FILETIME written = last_write_time(copy_);
        return CompareFileTime(&KNOWN_TIME, &written) == 0;
    };
    age_copy();
    write_file_bytes(info_, "mine");
    sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(read_file_bytes(info_), expected_note());
    EXPECT_TRUE(copy_is_aged());

    // Builds of the program with one byte changed: in its version text, and in its DOS stub.
    auto changed_build = [&](const char *from, const char *to, bool wide) {
        std::string bytes = program_bytes, find = from, put = to;
        if (wide) {
            find = put = "";
            for (const char *c = from; *c; c++)
                find += std::string(1, *c) + '\0';
            for (const char *c = to; *c; c++)
                put += std::string(1, *c) + '\0';
        }
        size_t at = bytes.find(find);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            bytes.replace(at, put.size(), put);
        return bytes;
    };
    // Any other bytes are replaced by the running program's: a foreign file carrying this
    // program's very version text and size (one byte changed in its DOS stub), an older
    // build, and the program cut short by a byte.
    const std::string foreign[] = {
        changed_build("This program", "This Program", false),
        changed_build("4, 3, 2013, 3", "4, 3, 2012, 3", true),
        program_bytes.substr(0, program_bytes.size() - 1),
    };
    for (const std::string &bytes : foreign) {
        write_file_bytes(copy_, bytes);
        age_copy();
        sweep(root_, SWEEP_LOOK, true);
        EXPECT_FALSE(copy_is_aged());
        EXPECT_EQ(read_file_bytes(copy_), program_bytes);
    }

    // A running program without version data is copied once, not again on every pass.
    const char *sleeper = getenv("KX_SLEEPER");
    ASSERT_NE(sleeper, nullptr) << "KX_SLEEPER is not set";
    std::string unversioned = std::string("Z:") + sleeper;
    for (char &c : unversioned)
        c = c == '/' ? '\\' : c;
    text_copy(app.exe_path, unversioned.c_str());
    app.program_version[0] = '\0';
    read_file_version(app.exe_path, app.program_version, sizeof app.program_version);
    sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(read_file_bytes(copy_), read_file_bytes(unversioned));
    age_copy();
    sweep(root_, SWEEP_LOOK, true);
    EXPECT_TRUE(copy_is_aged());
    text_copy(app.exe_path, program_.c_str());
    text_copy(app.program_version, "4, 3, 2013, 3");

    // A copy without version data, hidden and read-only, is replaced too.
    write_file_bytes(copy_, "MZ no version here");
    SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(read_file_bytes(copy_), program_bytes);

    // With no program file at exe_path, or none known (a program path code page 1251
    // cannot spell), nothing is written.
    for (const std::string &missing : {root_ + "\\gone.exe", std::string()}) {
        text_copy(app.exe_path, missing.c_str());
        DeleteFileA(copy_.c_str());
        write_file_bytes(info_, "mine");
        EXPECT_EQ(sweep(root_, SWEEP_LOOK, true).folder_state, FOLDER_PRESENT);
        EXPECT_EQ(read_file_bytes(info_), "mine");
        EXPECT_FALSE(exists(copy_));
    }

    // A folder created with the option on gets both files at once.
    text_copy(app.exe_path, program_.c_str());
    std::string fresh = make_scratch_dir("fresh");
    EXPECT_EQ(sweep(fresh, SWEEP_LOOK, true).folder_state, FOLDER_CREATED);
    EXPECT_EQ(read_file_bytes(fresh + "\\autorun.inf\\info.txt"), expected_note());
    EXPECT_EQ(read_file_bytes(fresh + "\\autorun.inf\\kestrix.exe"), program_bytes);
    remove_tree(fresh);
}

TEST_F(ProtectionFolderTest, FixedDriveFolderLosesHiddenAndSystemAndIsListed)
{
    for (DWORD dir_attributes : {(DWORD)FILE_ATTRIBUTE_HIDDEN, (DWORD)FILE_ATTRIBUTE_SYSTEM,
                                 (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
        make_dir(folder_, dir_attributes);
        SweepResult result = sweep(root_, SWEEP_LOOK, false);
        EXPECT_EQ(result.count, 0) << dir_attributes;  // the folder matches the pattern but is no file
        EXPECT_EQ(result.folder_state, FOLDER_PRESENT) << dir_attributes;
        EXPECT_EQ(result.records, FOLDER_RECORD_FIXED) << dir_attributes;
        // Directory plus archive; Wine keeps no archive bit on directories and reports 0x10.
        EXPECT_EQ(attributes(folder_) | FILE_ATTRIBUTE_ARCHIVE, (DWORD)0x30) << dir_attributes;
        EXPECT_TRUE(names_in(folder_).empty()) << "a look pass on a fixed drive writes nothing";
        RemoveDirectoryA(folder_.c_str());
    }
}

// The time of the last change to a file's data or attributes; no program can set it under Wine.
static LARGE_INTEGER change_time(const std::string &path)
{
    FILE_BASIC_INFO info = {};
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info);
    CloseHandle(file);
    return info.ChangeTime;
}

TEST_F(ProtectionFolderTest, FixedDriveAutorunInfWithNothingToClearIsNotWrittenAgain)
{
    for (bool directory : {false, true}) {
        if (directory)
            make_dir(folder_, FILE_ATTRIBUTE_HIDDEN);
        else
            make_file(folder_, FILE_ATTRIBUTE_HIDDEN);
        sweep(root_, SWEEP_LOOK, false);
        EXPECT_EQ(attributes(folder_) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY), 0u);
        LARGE_INTEGER before = change_time(folder_);
        ASSERT_NE(before.QuadPart, 0);
        Sleep(20);
        SweepResult again = sweep(root_, SWEEP_LOOK, false);
        EXPECT_EQ(again.folder_state, directory ? FOLDER_PRESENT : FOLDER_NONE);
        EXPECT_EQ(change_time(folder_).QuadPart, before.QuadPart) << "written again, directory " << directory;
        remove_tree(folder_);
    }
}

TEST_F(ProtectionFolderTest, LockedModeListsChangesNothingAndRecognisesOnlyFolderAttributes)
{
    make_file(root_ + "\\autorun.exe", FILE_ATTRIBUTE_HIDDEN);
    struct Case {
        const char *what;
        bool directory;
        DWORD attributes;
        int folder_state;
    } cases[] = {
        {"no autorun.inf", false, INVALID_FILE_ATTRIBUTES, FOLDER_NONE},
        {"directory", true, 0, FOLDER_PRESENT},
        {"hidden directory", true, FILE_ATTRIBUTE_HIDDEN, FOLDER_PRESENT},
        {"system directory", true, FILE_ATTRIBUTE_SYSTEM, FOLDER_NONE},
        {"hidden system directory", true, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FOLDER_NONE},
        {"plain file", false, FILE_ATTRIBUTE_ARCHIVE, FOLDER_NONE},
    };
    for (const Case &c : cases) {
        if (c.directory)
            make_dir(folder_, c.attributes);
        else if (c.attributes != INVALID_FILE_ATTRIBUTES)
            make_file(folder_, c.attributes);
        DWORD before = attributes(folder_);
        SweepResult result = sweep(root_, SWEEP_LOCKED, true);
        std::string expected = std::string("autorun.exe|LOCK|") + KNOWN_TIME_TEXT + "\n";
        if (!c.directory && c.attributes != INVALID_FILE_ATTRIBUTES)
            expected = std::string("autorun.inf|LOCK|") + KNOWN_TIME_TEXT + "\n";
        std::vector<std::string> lines = lines_of(result.records);
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << c.what;
        if (c.folder_state == FOLDER_PRESENT)
            EXPECT_EQ(lines.back(), FOLDER_RECORD_REMOVABLE) << c.what;
        EXPECT_EQ(result.count, (int)lines.size() - (c.folder_state ? 1 : 0)) << c.what;
        EXPECT_EQ(result.deleted, 0) << c.what;
        EXPECT_EQ(result.folder_state, c.folder_state) << c.what;
        EXPECT_EQ(attributes(folder_), before) << c.what;
        EXPECT_EQ(attributes(root_ + "\\autorun.exe"), (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
        if (c.directory)
            EXPECT_TRUE(names_in(folder_).empty()) << c.what;
        remove_tree(folder_);
    }
}

TEST_F(ProtectionFolderTest, DirectoriesAreNeverCountedListedOrDeleted)
{
    make_dir(root_ + "\\autorun.exe", FILE_ATTRIBUTE_HIDDEN);
    make_file(root_ + "\\autorun.exe\\payload.exe");
    make_file(root_ + "\\autorun.inf", FILE_ATTRIBUTE_HIDDEN);

    SweepResult look = sweep(root_, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 1);
    EXPECT_EQ(look.records, std::string("autorun.inf|скрытый|") + KNOWN_TIME_TEXT + "\n");

    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 1);
    EXPECT_EQ(act.deleted, 1);
    EXPECT_EQ(act.folder_state, FOLDER_CREATED);  // something was deleted, so even a fixed drive gets the folder
    EXPECT_EQ(act.records, FOLDER_RECORD_FIXED);
    EXPECT_EQ(read_file_bytes(info_), expected_note());
    EXPECT_EQ(attributes(root_ + "\\autorun.exe"), (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(read_file_bytes(root_ + "\\autorun.exe\\payload.exe"), "virus");
}

TEST_F(ProtectionFolderTest, AtMostFortyOneFilesPerPass)
{
    for (int i = 0; i < 45; i++)
        make_file(root_ + "\\autorun." + std::to_string(100 + i));

    SweepResult look = sweep(root_, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 41);
    EXPECT_EQ(lines_of(look.records).size(), 41u);
    EXPECT_EQ(names_in(root_).size(), 45u);

    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 41);
    EXPECT_EQ(act.deleted, 41);
    EXPECT_EQ(act.folder_state, FOLDER_CREATED);
    EXPECT_EQ(names_in(root_).size(), 5u);  // four files wait for the next pass, beside the new folder

    SweepResult next = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(next.count, 4);
    EXPECT_EQ(next.deleted, 4);
    EXPECT_EQ(next.folder_state, FOLDER_PRESENT);
    EXPECT_EQ(names_in(root_), std::vector<std::wstring>{L"autorun.inf"});
}

TEST_F(ProtectionFolderTest, DecoyDirectoriesDoNotHideARealAutorunFile)
{
    // Directories with autorun names made before the file: in directory order they come first.
    for (int i = 0; i < 200; i++) {
        char name[32];
        snprintf(name, sizeof name, "\\autorun.%03d", i);
        make_dir(root_ + name);
    }
    make_file(root_ + "\\autorun.inf", FILE_ATTRIBUTE_HIDDEN);
    // Where the platform's search puts the file: past the first 41 entries, or the case proves nothing.
    int position = 0;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((root_ + "\\autorun.*").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    for (int at = 1; !position; at++) {
        if (strcmp(entry.cFileName, "autorun.inf") == 0)
            position = at;
        else if (!FindNextFileA(search, &entry))
            break;
    }
    FindClose(search);
    ASSERT_GT(position, 41) << "directory order put the file among the first 41 entries";

    SweepResult look = sweep(root_, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 1);
    EXPECT_EQ(look.records, std::string("autorun.inf|скрытый|") + KNOWN_TIME_TEXT + "\n");
    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 1);
    EXPECT_EQ(act.deleted, 1);
    EXPECT_EQ(act.folder_state, FOLDER_CREATED);
    EXPECT_EQ(attributes(folder_), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(names_in(root_).size(), 201u);  // the decoys stay, beside the new folder
}

TEST_F(ProtectionFolderTest, PlainFileNamedAutorunInfBlocksTheFolderUntilAnActPass)
{
    text_copy(app.settings, "001000");
    make_file(folder_, FILE_ATTRIBUTE_HIDDEN);

    SweepResult look = sweep(root_, SWEEP_LOOK, true);
    EXPECT_EQ(look.count, 1);
    EXPECT_EQ(look.folder_state, FOLDER_NONE);
    EXPECT_EQ(look.records, std::string("autorun.inf|скрытый|") + KNOWN_TIME_TEXT + "\n");
    EXPECT_EQ(attributes(folder_), (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(read_file_bytes(folder_), "virus");

    SweepResult act = sweep(root_, SWEEP_ACT, true);
    EXPECT_EQ(act.count, 1);
    EXPECT_EQ(act.deleted, 1);
    EXPECT_EQ(act.folder_state, FOLDER_CREATED);
    EXPECT_EQ(act.records, FOLDER_RECORD_REMOVABLE);
    EXPECT_EQ(attributes(folder_), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(read_file_bytes(info_), expected_note());
    EXPECT_EQ(read_file_bytes(copy_), read_file_bytes(program_));
}

TEST_F(ProtectionFolderTest, OnlyNamesOfThePatternsFormGo)
{
    // The platform's search for "autorun.*" also returns "autorun"; it is a user's file.
    const char *stay[] = {"autorun", "autorunX.inf", "my autorun.inf", "autorun_inf", "autorun .inf", "xautorun.inf"};
    const char *go[] = {"AutoRun.Inf", "autorun.inf.txt", "autorun.a b", "AUTORUN.EXE"};
    for (const char *name : stay)
        make_file(root_ + "\\" + name, 0, "user");
    for (const char *name : go)
        make_file(root_ + "\\" + name);
    EXPECT_EQ(sweep(root_, SWEEP_LOOK, false).count, 4);
    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 4);
    EXPECT_EQ(act.deleted, 4);
    for (const char *name : stay)
        EXPECT_EQ(read_file_bytes(root_ + "\\" + name), "user") << name;
    for (const char *name : go)
        EXPECT_FALSE(exists(root_ + "\\" + name) && !(attributes(root_ + "\\" + name) & FILE_ATTRIBUTE_DIRECTORY))
            << name;
}

// Makes a file through the wide API, under a name no code page needs to spell.
static void make_wide_file(const std::string &dir, const std::wstring &name)
{
    wchar_t wide_dir[512];
    MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide_dir, 512);
    std::wstring path = std::wstring(L"\\\\?\\") + wide_dir + L"\\" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST_F(ProtectionFolderTest, NamesThePathsCannotReachAreDeletedByIdentity)
{
    // A name outside code page 1251, a long name with a short one, and names ending in a dot or
    // a space, which a path loses on its way to the file.
    const wchar_t *names[] = {L"autorun.\u4e2d\u6587", L"autorun.info", L"autorun.inf.", L"autorun.exe ",
                              L"AUTORUN.BAT. ."};
    for (const wchar_t *name : names)
        make_wide_file(root_, name);
    EXPECT_FALSE(exists(root_ + "\\autorun.??")) << "the 1251 name cannot reach the file";

    SweepResult look = sweep(root_, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 5);
    std::vector<std::string> lines = lines_of(look.records);
    for (const char *shown : {"autorun.??||", "autorun.info||", "autorun.inf.||", "autorun.exe ||", "AUTORUN.BAT. .||"})
        EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                               [&](const std::string &line) { return line.compare(0, strlen(shown), shown) == 0; }),
                  lines.end())
            << shown;

    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 5);
    EXPECT_EQ(act.deleted, 5);
    EXPECT_EQ(act.records, FOLDER_RECORD_FIXED);
    EXPECT_EQ(names_in(root_), std::vector<std::wstring>{L"autorun.inf"});
}

TEST_F(ProtectionFolderTest, ActPassThatDeletesNothingCreatesNothing)
{
    SweepResult empty = sweep(root_, SWEEP_ACT, true);
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.deleted, 0);
    EXPECT_EQ(empty.folder_state, FOLDER_NONE);
    EXPECT_EQ(empty.records, "");
    EXPECT_TRUE(names_in(root_).empty());

    // An existing hidden folder is only cleared and listed.
    make_dir(folder_, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SweepResult existing = sweep(root_, SWEEP_ACT, true);
    EXPECT_EQ(existing.folder_state, FOLDER_PRESENT);
    EXPECT_EQ(existing.records, FOLDER_RECORD_REMOVABLE);
    EXPECT_EQ(attributes(folder_) | FILE_ATTRIBUTE_ARCHIVE, (DWORD)0x30);
    EXPECT_TRUE(names_in(folder_).empty());
}

TEST_F(ProtectionFolderTest, FileThatCannotBeDeletedIsCountedAndTheSweepGoesOn)
{
    make_file(root_ + "\\autorun.inf", FILE_ATTRIBUTE_HIDDEN);
    make_file(root_ + "\\autorun.exe", FILE_ATTRIBUTE_SYSTEM);
    HANDLE held = CreateFileA((root_ + "\\autorun.inf").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    SweepResult act = sweep(root_, SWEEP_ACT, true);
    EXPECT_EQ(act.count, 2);
    EXPECT_EQ(act.deleted, 1);
    // The held file takes the folder's name, so no folder can be made.
    EXPECT_EQ(act.folder_state, FOLDER_NONE);
    EXPECT_EQ(act.records, "");
    EXPECT_FALSE(exists(root_ + "\\autorun.exe"));
    EXPECT_EQ(read_file_bytes(root_ + "\\autorun.inf"), "virus");

    SweepResult again = sweep(root_, SWEEP_ACT, true);
    EXPECT_EQ(again.count, 1);
    EXPECT_EQ(again.deleted, 0);
    CloseHandle(held);
    EXPECT_TRUE(exists(root_ + "\\autorun.inf"));
}

TEST_F(ProtectionFolderTest, SystemDirectoryGainsItsFolderAfterAnActPassDeletedThere)
{
    char system_path[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system_path, sizeof system_path), 0u);
    std::string system_dir = system_path;
    std::string folder = system_dir + "\\autorun.inf";
    remove_tree(folder);
    make_file(folder, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    SweepResult act = sweep(system_dir, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 1);
    EXPECT_EQ(act.deleted, 1);
    EXPECT_EQ(act.folder_state, FOLDER_CREATED);
    EXPECT_EQ(act.records, FOLDER_RECORD_FIXED);
    EXPECT_EQ(read_file_bytes(folder + "\\info.txt"), expected_note());

    SweepResult look = sweep(system_dir, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 0);
    EXPECT_EQ(look.folder_state, FOLDER_PRESENT);
    remove_tree(folder);
}

TEST_F(ProtectionFolderTest, DriveRootsAsTheWatchCycleNamesThem)
{
    std::string fixed_root = make_scratch_dir("fixed");
    {
        ScopedDrive removable('R', root_, DRIVE_REMOVABLE);
        ScopedDrive fixed('S', fixed_root, DRIVE_FIXED);
        ASSERT_TRUE(removable.plugged_ && fixed.plugged_);
        make_file("R:\\AUTORUN.INF", FILE_ATTRIBUTE_READONLY);
        make_dir("S:\\autorun.inf", FILE_ATTRIBUTE_HIDDEN);

        SweepResult look = sweep("R:", SWEEP_LOOK, true);
        EXPECT_EQ(look.count, 1);  // names match whatever their case
        EXPECT_EQ(look.records, std::string("AUTORUN.INF|защищен|") + KNOWN_TIME_TEXT + "\n");
        SweepResult act = sweep("R:", SWEEP_ACT, true);
        EXPECT_EQ(act.deleted, 1);
        EXPECT_EQ(act.folder_state, FOLDER_CREATED);
        EXPECT_EQ(read_file_bytes("R:\\autorun.inf\\info.txt"), expected_note());

        SweepResult fixed_look = sweep("S:", SWEEP_LOOK, false);
        EXPECT_EQ(fixed_look.folder_state, FOLDER_PRESENT);
        EXPECT_EQ(fixed_look.records, FOLDER_RECORD_FIXED);
    }
    EXPECT_EQ(GetDriveTypeA("R:\\"), (UINT)DRIVE_NO_ROOT_DIR);
    // Seen through the folders behind the letters.
    EXPECT_EQ(read_file_bytes(info_), expected_note());
    EXPECT_EQ(attributes(fixed_root + "\\autorun.inf"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    remove_tree(fixed_root);
}

TEST_F(ProtectionFolderTest, RecordsThatDoNotFitAreDropped)
{
    ScopedDrive drive('R', root_, DRIVE_REMOVABLE);
    ASSERT_TRUE(drive.plugged_);
    std::string tail(232, 'x');
    for (int i = 0; i < 20; i++)
        make_file("R:\\autorun." + std::to_string(10 + i) + tail);  // names of 242 characters

    SweepResult look = sweep("R:", SWEEP_LOOK, true);
    EXPECT_EQ(look.count, 20);
    EXPECT_EQ(look.folder_state, FOLDER_CREATED);
    std::vector<std::string> lines = lines_of(look.records);
    size_t record_size = 242 + 2 + strlen(KNOWN_TIME_TEXT) + 1;
    size_t fitting = (RECORD_TEXT_SIZE - 1) / record_size;
    ASSERT_EQ(lines.size(), fitting + 1);  // the short folder record still finds room
    for (size_t i = 0; i < fitting; i++)
        EXPECT_EQ(lines[i].size(), record_size);
    EXPECT_EQ(lines.back(), FOLDER_RECORD_REMOVABLE);

    SweepResult act = sweep("R:", SWEEP_ACT, true);
    EXPECT_EQ(act.count, 20);
    EXPECT_EQ(act.deleted, 20);
}

TEST_F(ProtectionFolderTest, LongestNamesInARootAndInADeeperFolder)
{
    // The Linux file system behind the prefix caps a name at 255 bytes, so the
    // 259 characters a directory search can return cannot be staged here.
    std::string name = "autorun." + std::string(247, 'L');
    {
        ScopedDrive drive('R', root_, DRIVE_REMOVABLE);
        ASSERT_TRUE(drive.plugged_);
        for (char c : {'1', '2', '3'})
            make_file("R:\\" + name.substr(0, 254) + c);
        SweepResult look = sweep("R:", SWEEP_LOOK, false);
        EXPECT_EQ(look.count, 3);
        std::vector<std::string> lines = lines_of(look.records);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].find('|'), 255u);

        SweepResult act = sweep("R:", SWEEP_ACT, false);
        EXPECT_EQ(act.deleted, 3);
        for (char c : {'4', '5'})
            make_file("R:\\" + name.substr(0, 254) + c);
    }
    // Behind a longer path the long names are out of reach; the short names still delete the files.
    EXPECT_FALSE(exists(root_ + "\\" + name.substr(0, 254) + "4"));
    SweepResult look = sweep(root_, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 2);
    EXPECT_EQ(lines_of(look.records).size(), 3u);
    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.count, 2);
    EXPECT_EQ(act.deleted, 2);
    EXPECT_EQ(names_in(root_), std::vector<std::wstring>{L"autorun.inf"});
}

TEST_F(ProtectionFolderTest, FilesBeyondThePathLimitAreStillDeleted)
{
    // A location of 250 characters: its own path fits the platform's 260, but the path of
    // autorun.inf (an 8.3 name, so it has no short name) does not. The files are opened by
    // their ids, so their paths do not matter.
    std::string deep = root_;
    while (deep.size() < 240)
        make_dir(deep += "\\d");
    deep += "\\" + std::string(250 - deep.size() - 1, 'p');
    make_dir(deep);
    ASSERT_EQ(deep.size(), 250u);
    {
        ScopedDrive drive('R', deep, DRIVE_FIXED);
        ASSERT_TRUE(drive.plugged_);
        make_file("R:\\autorun.inf", FILE_ATTRIBUTE_HIDDEN);
        make_file("R:\\autorun.a", FILE_ATTRIBUTE_HIDDEN);
    }
    SweepResult act = sweep(deep, SWEEP_ACT, true);
    EXPECT_EQ(act.count, 2);
    EXPECT_EQ(act.deleted, 2);
    ScopedDrive drive('R', deep, DRIVE_FIXED);
    EXPECT_FALSE(exists("R:\\autorun.a"));
    EXPECT_FALSE(exists("R:\\autorun.inf") && !(attributes("R:\\autorun.inf") & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(ProtectionFolderTest, LocationTooLongForItsPathsIsNotTouched)
{
    make_file(root_ + "\\autorun.inf");
    std::string location = root_ + "\\" + std::string(520, 'z');
    GuardedRecords buffer;
    memset(&buffer, 0x5A, sizeof buffer);
    text_copy(buffer.records, "kept|| \n");
    int deleted = -1, folder_state = FOLDER_NONE;
    EXPECT_EQ(sweep_location(location.c_str(), "autorun.*", SWEEP_ACT, buffer.records, &deleted, 1, &folder_state), 0);
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(folder_state, FOLDER_NONE);
    EXPECT_STREQ(buffer.records, "kept|| \n");
    EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(sizeof buffer.guard, 0x5A));
    EXPECT_EQ(read_file_bytes(root_ + "\\autorun.inf"), "virus");
}

// Hostile drives carry links. A Linux symbolic link inside a drive folder is what Wine can
// stage: it has no call that makes one (CreateSymbolicLinkW does nothing there) and no NTFS
// junctions at all. Wine 8 shows a link to a folder as directory plus reparse point (0x410) and
// a link to a file as a plain file; opening either follows it, and deleting a file link deletes
// its target.
static void make_link(const std::string &link, const std::string &target)
{
    ASSERT_TRUE(make_unix_link(link, target)) << link;
}

// Removes folders from the Linux side, links and all, whatever a test left: removing them
// through Wine would follow the links.
struct UnixCleanup {
    std::vector<std::string> folders;
    ~UnixCleanup()
    {
        for (const std::string &folder : folders)
            remove_unix_tree(folder);
    }
};

// Names, attributes and bytes under a folder, to show that nothing there changed.
static std::string snapshot(const std::string &path)
{
    DWORD path_attributes = attributes(path);
    std::string text = path + " " + std::to_string(path_attributes) + "\n";
    if (path_attributes == INVALID_FILE_ATTRIBUTES)
        return text;
    if (!(path_attributes & FILE_ATTRIBUTE_DIRECTORY))
        return text + read_file_bytes(path) + "\n";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    std::vector<std::string> names;
    if (search != INVALID_HANDLE_VALUE) {
        do
            names.push_back(entry.cFileName);
        while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        if (name != "." && name != "..")
            text += snapshot(path + "\\" + name);
    return text;
}

TEST_F(ProtectionFolderTest, AutorunInfLinkedToAFolderElsewhereIsNeverWrittenThrough)
{
    UnixCleanup cleanup;
    std::string outside = make_scratch_dir("outside");
    cleanup.folders = {root_, outside};
    make_file(outside + "\\keep.txt", FILE_ATTRIBUTE_HIDDEN, "precious");
    make_dir(outside + "\\sub");
    SetFileAttributesA(outside.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    make_link(folder_, outside);
    // The link shows its target's attributes with the reparse-point bit.
    const DWORD link_attributes = attributes(folder_);
    ASSERT_EQ(link_attributes, (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    text_copy(app.settings, "001000");  // the program copy too, so that a followed link would show
    const std::string before = snapshot(outside);

    struct Case {
        const char *what;
        int mode;
        bool removable;
        bool autorun_file;
    } cases[] = {
        {"look, removable", SWEEP_LOOK, true, false},   {"look, fixed", SWEEP_LOOK, false, false},
        {"act, a file deleted", SWEEP_ACT, true, true}, {"act, nothing deleted", SWEEP_ACT, true, false},
        {"locked", SWEEP_LOCKED, true, true},
    };
    for (const Case &c : cases) {
        if (c.autorun_file)
            make_file(root_ + "\\autorun.exe");
        SweepResult result = sweep(root_, c.mode, c.removable);
        EXPECT_EQ(result.count, c.autorun_file ? 1 : 0) << c.what;
        EXPECT_EQ(result.deleted, c.mode == SWEEP_ACT && c.autorun_file ? 1 : 0) << c.what;
        EXPECT_EQ(result.folder_state, FOLDER_NONE) << c.what;
        EXPECT_EQ(result.records.find("(папка защиты)"), std::string::npos) << c.what;
        EXPECT_EQ(snapshot(outside), before) << c.what;
        EXPECT_EQ(attributes(folder_), link_attributes) << c.what;
        DeleteFileA((root_ + "\\autorun.exe").c_str());
    }
}

TEST_F(ProtectionFolderTest, AutorunFilesLinkedElsewhereAreNeitherResetNorDeleted)
{
    UnixCleanup cleanup;
    std::string outside = make_scratch_dir("outside");
    cleanup.folders = {root_, outside};
    make_file(outside + "\\precious.doc", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, "outside the drive");
    make_dir(root_ + "\\docs");
    make_file(root_ + "\\docs\\thesis.doc", FILE_ATTRIBUTE_READONLY, "on the drive, elsewhere");
    make_file(root_ + "\\beside.txt", 0, "in the root");
    make_link(root_ + "\\autorun.exe", outside + "\\precious.doc");
    make_link(root_ + "\\autorun.inf", root_ + "\\docs\\thesis.doc");
    make_link(root_ + "\\autorun.txt", root_ + "\\beside.txt");
    make_link(root_ + "\\autorun.lnk", outside + "\\gone.doc");  // dangling: Wine does not list it
    make_file(root_ + "\\autorun.bat", FILE_ATTRIBUTE_HIDDEN);
    const std::string outside_before = snapshot(outside), docs_before = snapshot(root_ + "\\docs"),
                      beside_before = snapshot(root_ + "\\beside.txt");

    EXPECT_EQ(sweep(root_, SWEEP_LOOK, false).count, 4);  // the links show as plain files
    for (int pass = 0; pass < 2; pass++) {
        SweepResult act = sweep(root_, SWEEP_ACT, true);
        EXPECT_EQ(act.count, pass == 0 ? 4 : 3) << pass;
        EXPECT_EQ(act.deleted, pass == 0 ? 1 : 0) << pass;  // autorun.bat, the one real file
        EXPECT_EQ(act.folder_state, FOLDER_NONE) << pass;   // the link holds the folder's name
    }
    EXPECT_FALSE(exists(root_ + "\\autorun.bat"));
    EXPECT_EQ(snapshot(outside), outside_before);
    EXPECT_EQ(snapshot(root_ + "\\docs"), docs_before);
    EXPECT_EQ(snapshot(root_ + "\\beside.txt"), beside_before);
    EXPECT_FALSE(exists(outside + "\\gone.doc"));
    for (const char *link : {"autorun.exe", "autorun.inf", "autorun.txt"})
        EXPECT_TRUE(exists(root_ + "\\" + link)) << link;
}

TEST_F(ProtectionFolderTest, LinksInsideTheProtectionFolderAreNotWrittenThrough)
{
    UnixCleanup cleanup;
    std::string outside = make_scratch_dir("outside");
    std::string second = make_scratch_dir("second");
    cleanup.folders = {root_, outside, second};
    text_copy(app.settings, "001000");
    make_file(outside + "\\note.txt", FILE_ATTRIBUTE_HIDDEN, "the user's note");
    make_file(outside + "\\tool.exe", FILE_ATTRIBUTE_READONLY, "MZ the user's tool");
    make_dir(folder_);
    make_link(info_, outside + "\\note.txt");
    make_link(copy_, outside + "\\tool.exe");
    // Dangling links in a second folder would be followed by a plain create.
    make_dir(second + "\\autorun.inf");
    make_link(second + "\\autorun.inf\\info.txt", outside + "\\new_note.txt");
    make_link(second + "\\autorun.inf\\kestrix.exe", outside + "\\new_tool.exe");
    // And a dangling autorun.inf where an act pass would create the folder.
    std::string third = make_scratch_dir("third");
    cleanup.folders.push_back(third);
    make_link(third + "\\autorun.inf", outside + "\\new_folder");
    make_file(third + "\\autorun.exe");
    const std::string before = snapshot(outside);

    EXPECT_EQ(sweep(root_, SWEEP_LOOK, true).folder_state, FOLDER_PRESENT);
    EXPECT_EQ(sweep(second, SWEEP_LOOK, true).folder_state, FOLDER_PRESENT);
    SweepResult act = sweep(third, SWEEP_ACT, true);
    EXPECT_EQ(act.deleted, 1);
    EXPECT_EQ(act.folder_state, FOLDER_NONE);
    EXPECT_EQ(snapshot(outside), before);
    EXPECT_EQ(write_folder_note(info_.c_str()), 0);
    EXPECT_EQ(copy_program_to_folder(folder_.c_str()), 0);
    EXPECT_EQ(snapshot(outside), before);

    // The same folder with real files is filled as always.
    std::string plain = make_scratch_dir("plain");
    cleanup.folders.push_back(plain);
    make_dir(plain + "\\autorun.inf");
    EXPECT_EQ(sweep(plain, SWEEP_LOOK, true).folder_state, FOLDER_PRESENT);
    EXPECT_EQ(read_file_bytes(plain + "\\autorun.inf\\info.txt"), expected_note());
    EXPECT_EQ(read_file_bytes(plain + "\\autorun.inf\\kestrix.exe"), read_file_bytes(program_));
}

TEST_F(ProtectionFolderTest, EvidenceTellsAHeldFileFromOneTheSweepLeavesAlone)
{
    UnixCleanup cleanup;
    std::string outside = make_scratch_dir("outside");
    cleanup.folders = {root_, outside};
    make_file(outside + "\\precious.doc", 0, "outside the drive");
    make_link(root_ + "\\autorun.inf", outside + "\\precious.doc");
    auto act = [&](SweepEvidence *evidence) {
        char records[RECORD_TEXT_SIZE] = "";
        int deleted = -1, folder_state = FOLDER_NONE;
        sweep_location(root_.c_str(), "autorun.*", SWEEP_ACT, records, &deleted, 1, &folder_state, evidence);
        return std::string(records);
    };

    // A link: left alone, listed because it stays, and no process holds anything.
    SweepEvidence first = {-1, 0}, second = {-1, 0};
    EXPECT_EQ(act(&first), std::string("autorun.inf||") + KNOWN_TIME_TEXT + "\n");
    act(&second);
    EXPECT_EQ(first.held, 0);
    EXPECT_NE(first.survivors, 0u);
    EXPECT_EQ(second.survivors, first.survivors);  // the same file left in place, the same signature
    EXPECT_EQ(read_file_bytes(outside + "\\precious.doc"), "outside the drive");

    // A file held open by another handle: evidence of a process at work, not listed.
    make_file(root_ + "\\autorun.exe");
    HANDLE held = CreateFileA((root_ + "\\autorun.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SweepEvidence holding = {-1, 0};
    std::string records = act(&holding);
    EXPECT_EQ(holding.held, 1);
    EXPECT_EQ(records.find("autorun.exe"), std::string::npos) << records;
    EXPECT_NE(holding.survivors, first.survivors);
    CloseHandle(held);

    // Released, it goes; only the link survives, with its signature of before.
    SweepEvidence released = {-1, 0};
    act(&released);
    EXPECT_EQ(released.held, 0);
    EXPECT_EQ(released.survivors, first.survivors);
    EXPECT_FALSE(exists(root_ + "\\autorun.exe"));

    // A sweep with nothing left behind has no survivors.
    std::string clean = make_scratch_dir("clean");
    cleanup.folders.push_back(clean);
    make_file(clean + "\\autorun.exe");
    SweepEvidence none = {-1, 1};
    char records_clean[RECORD_TEXT_SIZE] = "";
    int deleted = 0, folder_state = FOLDER_NONE;
    sweep_location(clean.c_str(), "autorun.*", SWEEP_ACT, records_clean, &deleted, 1, &folder_state, &none);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(none.held, 0);
    EXPECT_EQ(none.survivors, 0u);
}

TEST_F(ProtectionFolderTest, OrdinaryFilesNeverUseUpTheEntriesExamined)
{
    // More photos than a sweep examines entries, made from the Linux side in one go.
    UnixCleanup cleanup;
    cleanup.folders = {root_};
    std::string photos = "cd '" + unix_path(root_) + "' && seq -f 'photo_%05g.jpg' 1 " +
                         std::to_string(SWEEP_EXAMINE_LIMIT + 2000) + " | xargs touch";
    ASSERT_TRUE(run_unix_command({"sh", "-c", photos}));
    make_file(root_ + "\\autorun.inf", FILE_ATTRIBUTE_HIDDEN);
    SweepResult look = sweep(root_, SWEEP_LOOK, false);
    EXPECT_EQ(look.count, 1);
    SweepResult act = sweep(root_, SWEEP_ACT, false);
    EXPECT_EQ(act.deleted, 1);
    EXPECT_EQ(act.folder_state, FOLDER_CREATED);
}
