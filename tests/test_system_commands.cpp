// Launching, restart and shutdown through the launch seam; the result box; the
// clipboard file from Wine's real clipboard.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/system_commands.h"
#include "common/seams.h"
#include "test_support.h"

// What the fake launch and box seams were called with, and what they answer.
static std::vector<std::string> exec_lines;
static std::vector<UINT> exec_shows;
static std::vector<UINT> exec_answers;  // one per call; the last one repeats
static std::vector<std::string> shell_files;
static HWND shell_owner;
static bool shell_extra_arguments;
static INT_PTR shell_answer;
static std::string box_text, box_caption;
static HWND box_owner;
static UINT box_type;
static int box_calls;

static UINT WINAPI fake_win_exec(LPCSTR line, UINT show)
{
    exec_lines.push_back(line);
    exec_shows.push_back(show);
    size_t i = exec_lines.size() - 1;
    return exec_answers.empty() ? 0 : exec_answers[i < exec_answers.size() ? i : exec_answers.size() - 1];
}

static HINSTANCE WINAPI fake_shell_execute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                           LPCSTR directory, INT show)
{
    shell_owner = owner;
    shell_files.push_back(file);
    shell_extra_arguments = verb || parameters || directory || show != SW_SHOWNORMAL;
    return (HINSTANCE)shell_answer;
}

static int WINAPI fake_message_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    box_owner = owner;
    box_text = text;
    box_caption = caption;
    box_type = type;
    box_calls++;
    return IDOK;
}

static BOOL WINAPI refuse_exit_windows(UINT, DWORD)
{
    ADD_FAILURE() << "ExitWindowsEx must not be called";
    return FALSE;
}

class SystemCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        exec_lines.clear();
        exec_shows.clear();
        exec_answers.clear();
        shell_files.clear();
        shell_owner = nullptr;
        shell_extra_arguments = false;
        shell_answer = 0;
        box_text = box_caption = "";
        box_owner = (HWND)1;
        box_type = 0;
        box_calls = 0;
        seam_win_exec = fake_win_exec;
        seam_shell_execute = fake_shell_execute;
        seam_message_box = fake_message_box;
        seam_exit_windows_ex = refuse_exit_windows;
    }
    void TearDown() override { reset_seams(); }
};

TEST_F(SystemCommands, RunOrOpenTriesWinExecThenTheShell)
{
    struct Case {
        const char *target;
        UINT exec_answer;
        INT_PTR shell_answer;
        int expected;
        size_t shell_calls;
    } cases[] = {
        {"regedit.exe", 33, 0, RUN_STARTED, 0},
        {"taskmgr.exe", 32, 0, RUN_STARTED, 0},  // above 31 is started
        {"RunDll32.exe shell32.dll,Control_RunDLL hotplug.dll", 33, 0, RUN_STARTED, 0},
        {"appwiz.cpl", ERROR_BAD_FORMAT, 42, RUN_STARTED, 1},
        {"services.msc", 31, 33, RUN_STARTED, 1},  // 31 is a failure of WinExec
        {"https://kestrix.example/", ERROR_FILE_NOT_FOUND, 32, 0, 1},  // 32 is a failure of the shell
        {"C:\\no\\such\\thing.msc", 0, SE_ERR_NOASSOC, 0, 1},
    };
    HWND owner = (HWND)0x1234;
    for (const Case &c : cases) {
        SetUp();
        exec_answers = {c.exec_answer};
        shell_answer = c.shell_answer;
        EXPECT_EQ(run_or_open(c.target, owner), c.expected) << c.target;
        ASSERT_EQ(exec_lines.size(), 1u) << c.target;
        EXPECT_EQ(exec_lines[0], c.target);
        EXPECT_EQ(exec_shows[0], (UINT)SW_SHOWNORMAL);
        ASSERT_EQ(shell_files.size(), c.shell_calls) << c.target;
        if (c.shell_calls) {
            EXPECT_EQ(shell_files[0], c.target);
            EXPECT_EQ(shell_owner, owner);
            EXPECT_FALSE(shell_extra_arguments) << "no verb, parameters or directory; shown normally";
        }
    }
}

// The real WinExec: a console is not a program, so only the shell can open it;
// a real program starts and the shell is never asked.
TEST_F(SystemCommands, RealWinExecStartsProgramsAndLeavesConsolesToTheShell)
{
    seam_win_exec = WinExec;
    shell_answer = 42;
    EXPECT_EQ(run_or_open("appwiz.cpl", nullptr), RUN_STARTED);
    ASSERT_EQ(shell_files.size(), 1u);
    EXPECT_EQ(shell_files[0], "appwiz.cpl");

    shell_files.clear();
    EXPECT_EQ(run_or_open("cmd.exe /c exit 0", nullptr), RUN_STARTED);
    EXPECT_TRUE(shell_files.empty());
}

TEST_F(SystemCommands, MissingTargetFailsBothWaysSilently)
{
    reset_seams();
    seam_message_box = fake_message_box;
    EXPECT_EQ(run_or_open("kx_no_such_program_4711.exe", nullptr), 0);
    EXPECT_EQ(box_calls, 0);
}

TEST_F(SystemCommands, RestartAndShutdownTryTheSecondOptionFormOnce)
{
    struct Case {
        int (*operation)();
        std::vector<UINT> answers;
        std::vector<std::string> lines;
    } cases[] = {
        {restart_computer, {33}, {"shutdown -r -t 0"}},
        {restart_computer, {ERROR_FILE_NOT_FOUND, 33}, {"shutdown -r -t 0", "shutdown /r /t 0"}},
        {restart_computer, {0, 0}, {"shutdown -r -t 0", "shutdown /r /t 0"}},
        {shut_down_computer, {32}, {"shutdown -s -t 0"}},
        {shut_down_computer, {31, 31}, {"shutdown -s -t 0", "shutdown /s /t 0"}},
    };
    for (const Case &c : cases) {
        SetUp();
        exec_answers = c.answers;
        EXPECT_EQ(c.operation(), 1);
        EXPECT_EQ(exec_lines, c.lines);
        for (UINT show : exec_shows)
            EXPECT_EQ(show, (UINT)SW_SHOWDEFAULT);
        EXPECT_TRUE(shell_files.empty());
        EXPECT_EQ(box_calls, 0) << "no confirmation is asked";
    }
}

TEST_F(SystemCommands, ShowResultCopiesBoundedTextsAndDefaultsShortCaptions)
{
    std::string long_text(2000, 'x');
    long_text[1022] = 'y';
    std::string long_caption(300, 'c');
    struct Case {
        std::string text, caption, shown_text, shown_caption;
    } cases[] = {
        {"Готово.", " ", "Готово.", "Результат"},
        {"Готово.", "", "Готово.", "Результат"},
        {"Готово.", "A", "Готово.", "Результат"},
        {"Готово.", "OK", "Готово.", "OK"},
        {"Строка 1\nСтрока 2   \n", "Ошибка", "Строка 1\nСтрока 2   \n", "Ошибка"},
        {long_text, long_caption, long_text.substr(0, 1023), long_caption.substr(0, 255)},
    };
    for (const Case &c : cases) {
        SetUp();
        show_result(c.text.c_str(), c.caption.c_str());
        EXPECT_EQ(box_calls, 1);
        EXPECT_EQ(box_text, c.shown_text);
        EXPECT_EQ(box_caption, c.shown_caption);
        EXPECT_EQ(box_owner, nullptr);
        EXPECT_EQ(box_type, (UINT)(MB_OK | MB_TOPMOST | MB_ICONINFORMATION));
    }
    EXPECT_EQ(box_text.back(), 'y');
}

// Watches for the real box, reads it and presses OK.
static DWORD WINAPI close_result_box(void *seen)
{
    std::string &report = *(std::string *)seen;
    for (int i = 0; i < 100; i++) {
        HWND box = FindWindowA("#32770", "Результат");
        if (box && IsWindowVisible(box)) {  // set up and shown
            char text[1024] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            // Wine's box ignores MB_TOPMOST (the flag itself is checked above through the seam).
            HWND icon = GetDlgItem(box, 1088);
            bool has_icon = icon && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
            report = std::string(text) + (has_icon ? "|icon" : "|no icon") + (GetDlgItem(box, IDCANCEL) ? "|cancel" : "") +
                     (GetDlgItem(box, IDOK) ? "|ok" : "");
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

TEST_F(SystemCommands, RealBoxShowsTheTextWithAnIconAndOneButton)
{
    reset_seams();
    std::string seen;
    HANDLE watcher = CreateThread(nullptr, 0, close_result_box, &seen, 0, nullptr);
    show_result("Найдено значений: 3.", " ");  // returns only when the box is closed
    WaitForSingleObject(watcher, 10000);
    CloseHandle(watcher);
    EXPECT_EQ(seen, "Найдено значений: 3.|icon|ok");
}

// Puts data of one format on the real clipboard (CF_TEXT texts keep their NUL).
static void put_on_clipboard(UINT format, const std::string &bytes)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
    char *p = (char *)GlobalLock(block);
    memcpy(p, bytes.c_str(), bytes.size() + 1);
    GlobalUnlock(block);
    EXPECT_TRUE(SetClipboardData(format, block) != nullptr);
    CloseClipboard();
}

static void empty_clipboard()
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
}

TEST(ClipboardFile, WritesTheTextByteForByteOverAnOlderFile)
{
    std::string dir = make_scratch_dir("clipboard");
    std::string path = dir + "\\Буфер_обмена.txt";
    write_file_bytes(path, std::string(5000, 'o'));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    std::string big;
    for (int i = 0; i < 20000; i++)
        big += "строка " + std::to_string(i) + "\r\n";
    const std::string texts[] = {
        "Первая строка\r\nвторая\tстрока\r\n\r\nлишь перевод\nи возврат\rконец",  // line ends as held
        "short",
        "",
        big,  // far beyond any fixed buffer
    };
    for (const std::string &text : texts) {
        put_on_clipboard(CF_TEXT, text);
        EXPECT_EQ(clipboard_text_to_file(path.c_str()), 1);
        EXPECT_EQ(read_file_bytes(path), text) << text.substr(0, 40);
    }
    remove_tree(dir);
}

TEST(ClipboardFile, NoTextOrNoFileMeansNothingWritten)
{
    std::string dir = make_scratch_dir("clipboard_none");
    std::string path = dir + "\\Буфер_обмена.txt";

    empty_clipboard();
    EXPECT_EQ(clipboard_text_to_file(path.c_str()), 0);
    put_on_clipboard(RegisterClipboardFormatA("KestrixTestFormat"), "not text");
    EXPECT_EQ(clipboard_text_to_file(path.c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);

    put_on_clipboard(CF_TEXT, "text");
    EXPECT_EQ(clipboard_text_to_file((dir + "\\missing folder\\x.txt").c_str()), 0);
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(clipboard_text_to_file(path.c_str()), 0);  // held open by another handle
    CloseHandle(held);
    empty_clipboard();
    remove_tree(dir);
}
