// The emergency-disk folder built on a scratch desktop inside the Wine prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "drives/emergency_disk.h"
#include "test_support.h"
#include "unix_links.h"

static const char AUTORUN_BYTES[] = "[autorun]\r\nopen=kestrix.exe\r\nicon=kestrix.exe";
static const char MARKER_BYTES[] =
    "Этот файл создан программой \"Kestrix\" (kestrix.example).    \r\n"
    "Если он находится в одной директории с файлом \"kestrix.exe\" -   \r\n"
    "это равносильно запуску программы с параметром -start, \r\n"
    "при котором Windows сразу очищается от лишних процессов    \r\n"
    "(многие вирусы будут остановлены).\r\n"
    "\r\n"
    "Файлы аварийного диска могут быть помещены как на CD-диск,   \r\n"
    "так и на флешку или на карту памяти,   \r\n"
    "которые нужно защитить от записи LOCK-переключателем.        \r\n"
    "Версия программы: 4.3.2013.3\r\n"
    "******\r\n";

// Path of the built program, given by the test runner as a Unix path.
static std::string program_file()
{
    const char *unix_path = getenv("KX_EXE");
    std::string path = std::string("Z:") + (unix_path ? unix_path : "");
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

static bool exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class EmergencyDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop_ = make_scratch_dir("desktop");
        disk_ = desktop_ + "\\KX_Disk";
        ASSERT_TRUE(getenv("KX_EXE")) << "KX_EXE is not set";
        text_copy(app.desktop_dir, desktop_.c_str());
        text_copy(app.exe_path, program_file().c_str());
        text_copy(app.emergency_disk_dir, "previous");
    }
    void TearDown() override { remove_tree(desktop_); }
    void expect_complete_disk()
    {
        EXPECT_EQ(std::string(app.emergency_disk_dir), disk_);
        std::string program = read_file_bytes(program_file());
        ASSERT_GT(program.size(), 1000u);
        EXPECT_TRUE(read_file_bytes(disk_ + "\\kestrix.exe") == program) << "the copy differs from the program";
        EXPECT_EQ(read_file_bytes(disk_ + "\\autorun.inf"), AUTORUN_BYTES);
        EXPECT_EQ(read_file_bytes(disk_ + "\\kx_start.txt"), MARKER_BYTES);
    }
    std::string desktop_, disk_;
};

TEST_F(EmergencyDisk, BuildsTheFolderWithItsThreeFiles)
{
    EXPECT_EQ(create_emergency_disk(), 1);
    expect_complete_disk();
    // Nothing else: no icon file, no other entry.
    int entries = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((disk_ + "\\*").c_str(), &found);
    do
        entries += found.cFileName[0] != '.';
    while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(entries, 3);
}

TEST_F(EmergencyDisk, OverwritesAnOlderDiskEvenWhenReadOnly)
{
    CreateDirectoryA(disk_.c_str(), nullptr);
    const char *names[] = {"kestrix.exe", "autorun.inf", "kx_start.txt"};
    for (const char *name : names) {
        std::string path = disk_ + "\\" + name;
        write_file_bytes(path, std::string(300000, 'o'));  // longer than any new content
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }
    EXPECT_EQ(create_emergency_disk(), 1);
    expect_complete_disk();
    EXPECT_FALSE(GetFileAttributesA((disk_ + "\\autorun.inf").c_str()) & FILE_ATTRIBUTE_READONLY);
}

// Holds a file open without sharing, so that it can be neither replaced nor written.
static HANDLE hold(const std::string &path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
}

TEST_F(EmergencyDisk, StopsAtTheFirstFailureAndKeepsThePreviousFolder)
{
    enum Fault { DESKTOP_MISSING, DESKTOP_IS_FILE, PROGRAM_MISSING, HOLD_PROGRAM, HOLD_AUTORUN, HOLD_MARKER };
    struct Case {
        Fault fault;
        const char *not_written;  // the item after the failing one
    } cases[] = {
        {DESKTOP_MISSING, nullptr}, {DESKTOP_IS_FILE, nullptr},        {PROGRAM_MISSING, "autorun.inf"},
        {HOLD_PROGRAM, "autorun.inf"}, {HOLD_AUTORUN, "kx_start.txt"}, {HOLD_MARKER, nullptr},
    };
    const char *held_names[] = {"", "", "", "kestrix.exe", "autorun.inf", "kx_start.txt"};
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.fault == DESKTOP_MISSING) {
            text_append(app.desktop_dir, "\\gone");
            disk_ = std::string(app.desktop_dir) + "\\KX_Disk";
        } else if (c.fault == DESKTOP_IS_FILE) {
            write_file_bytes(desktop_ + "\\file", "x");
            text_append(app.desktop_dir, "\\file");
        } else if (c.fault == PROGRAM_MISSING) {
            text_copy(app.exe_path, "C:\\no\\such\\kestrix.exe");
        } else {
            CreateDirectoryA(disk_.c_str(), nullptr);
            held = hold(disk_ + "\\" + held_names[c.fault]);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        EXPECT_EQ(create_emergency_disk(), 0) << c.fault;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_STREQ(app.emergency_disk_dir, "previous") << c.fault;
        if (c.not_written)
            EXPECT_FALSE(exists(disk_ + "\\" + c.not_written)) << c.fault;
    }
}

// A real desktop folder spelled with "\." steps up to exactly length characters.
static std::string long_spelling(const std::string &base, size_t length)
{
    std::string folder = base + ((length - base.size()) % 2 ? "\\dd" : "\\d");
    CreateDirectoryA(folder.c_str(), nullptr);
    while (folder.size() < length)
        folder += "\\.";
    return folder;
}

TEST_F(EmergencyDisk, DesktopPathTooLongForAnItemTouchesNothing)
{
    // "KX_Disk" itself fits in all three; from 491 on kx_start.txt does not, from 492 no file does.
    // (Wine's narrow file calls refuse paths over 260 characters anyway; the result must still say so.)
    const size_t lengths[] = {491, 495, 503};
    for (size_t length : lengths) {
        std::string desktop = long_spelling(desktop_, length);
        ASSERT_EQ(desktop.size(), length);
        text_copy(app.desktop_dir, desktop.c_str());
        EXPECT_EQ(create_emergency_disk(), 0) << length;
        EXPECT_STREQ(app.emergency_disk_dir, "previous");
        EXPECT_FALSE(exists(desktop_ + "\\d\\KX_Disk") || exists(desktop_ + "\\dd\\KX_Disk")) << length;
    }
}

// The desktop is the user's: a KX_Disk that leads to another folder, or files in it that
// lead to other files, get nothing written through them.
TEST_F(EmergencyDisk, NothingIsWrittenThroughALinkedFolderOrFile)
{
    std::string outside = make_scratch_dir("outside");
    write_file_bytes(outside + "\\precious.txt", "the user's file");
    const char *names[] = {"kestrix.exe", "autorun.inf", "kx_start.txt"};
    auto outside_contents = [&] {
        std::string text;
        for (const char *name : {"precious.txt", "kestrix.exe", "autorun.inf", "kx_start.txt"})
            text += std::string(name) + "=" + (exists(outside + "\\" + name) ? read_file_bytes(outside + "\\" + name) : "-") + "\n";
        return text;
    };
    const std::string before = outside_contents();

    ASSERT_TRUE(make_unix_link(disk_, outside));
    EXPECT_EQ(create_emergency_disk(), 0);
    EXPECT_EQ(outside_contents(), before);
    EXPECT_STREQ(app.emergency_disk_dir, "previous");
    remove_unix_tree(disk_);

    // Each item in turn a link to the outside file, a second name of it, or a link to a missing file.
    for (const char *name : names) {
        for (int kind = 0; kind < 3; kind++) {
            remove_unix_tree(disk_);
            CreateDirectoryA(disk_.c_str(), nullptr);
            std::string target = outside + "\\" + (kind == 2 ? name : "precious.txt");
            ASSERT_TRUE(make_unix_link(disk_ + "\\" + name, target, kind == 1)) << name;
            EXPECT_EQ(create_emergency_disk(), 0) << name << " " << kind;
            EXPECT_EQ(outside_contents(), before) << name << " " << kind;
        }
    }
    remove_unix_tree(disk_);
    remove_unix_tree(outside);
    EXPECT_EQ(create_emergency_disk(), 1);  // a plain folder afterwards is built as always
    expect_complete_disk();
}
