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
struct Started {
    std::string application, command_line, directory;
};
static std::vector<Started> started;
static std::vector<BOOL> start_answers;  // one per call; the last one repeats
static std::vector<std::string> shell_files;
static HWND shell_owner;
static bool shell_extra_arguments;
static INT_PTR shell_answer;
static std::string box_text, box_caption;
static HWND box_owner;
static UINT box_type;
static int box_calls;

static BOOL WINAPI fake_create_process(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES,
                                       LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR directory,
                                       LPSTARTUPINFOA, LPPROCESS_INFORMATION process)
{
    started.push_back({application ? application : "(none)", command_line, directory ? directory : "(none)"});
    size_t i = started.size() - 1;
    BOOL answer = start_answers.empty() ? FALSE : start_answers[i < start_answers.size() ? i : start_answers.size() - 1];
    if (answer) {  // handles the caller may close
        process->hProcess = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        process->hThread = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    return answer;
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

static std::string system_dir()
{
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, sizeof dir);
    return dir;
}

static std::string windows_dir()
{
    char dir[MAX_PATH];
    GetSystemWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

class SystemCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        started.clear();
        start_answers = {TRUE};
        shell_files.clear();
        shell_owner = nullptr;
        shell_extra_arguments = false;
        shell_answer = 0;
        box_text = box_caption = "";
        box_owner = (HWND)1;
        box_type = 0;
        box_calls = 0;
        seam_create_process = fake_create_process;
        seam_shell_execute = fake_shell_execute;
        seam_message_box = fake_message_box;
        seam_exit_windows_ex = refuse_exit_windows;
    }
    void TearDown() override { reset_seams(); }
};

// Every tool is named by its full path, as the application and, quoted, as the first word
// of the command line, and starts in the system directory: nothing is searched for.
TEST_F(SystemCommands, ToolsStartByTheirFullPathInTheSystemDirectory)
{
    const std::string sys = system_dir(), win = windows_dir();
    struct Case {
        const char *what;
        int (*start)();
        std::string application, command_line;
    } cases[] = {
        {"task manager", [] { return start_system_tool("taskmgr.exe", ""); }, sys + "\\taskmgr.exe",
         "\"" + sys + "\\taskmgr.exe\""},
        {"command line", [] { return start_system_tool("cmd.exe", ""); }, sys + "\\cmd.exe", "\"" + sys + "\\cmd.exe\""},
        {"safe removal", [] { return start_system_tool("rundll32.exe", "shell32.dll,Control_RunDLL hotplug.dll"); },
         sys + "\\rundll32.exe", "\"" + sys + "\\rundll32.exe\" shell32.dll,Control_RunDLL hotplug.dll"},
        {"registry editor", open_registry_editor, win + "\\regedit.exe", "\"" + win + "\\regedit.exe\""},
        {"services", [] { return open_console("services.msc"); }, sys + "\\mmc.exe",
         "\"" + sys + "\\mmc.exe\" \"" + sys + "\\services.msc\""},
        {"programs", [] { return open_control_panel("appwiz.cpl"); }, sys + "\\control.exe",
         "\"" + sys + "\\control.exe\" \"" + sys + "\\appwiz.cpl\""},
    };
    for (const Case &c : cases) {
        SetUp();
        EXPECT_EQ(c.start(), RUN_STARTED) << c.what;
        ASSERT_EQ(started.size(), 1u) << c.what;
        EXPECT_EQ(started[0].application, c.application) << c.what;
        EXPECT_EQ(started[0].command_line, c.command_line) << c.what;
        EXPECT_EQ(started[0].directory, sys) << c.what;
        EXPECT_TRUE(shell_files.empty()) << c.what << ": the shell would search for the name";

        SetUp();
        start_answers = {FALSE};
        EXPECT_EQ(c.start(), 0) << c.what << " that cannot start";
        EXPECT_TRUE(shell_files.empty()) << c.what;
    }
}

// The shell opens documents, folders and web addresses given in full; a bare or
// relative name, which it would look for in the current directory, is refused.
TEST_F(SystemCommands, TheShellOpensOnlyFullPathsAndWebAddresses)
{
    struct Case {
        const char *target;
        INT_PTR shell_answer;
        int expected;
        bool shown;
    } cases[] = {
        {"C:\\ProgramData\\TarvelSoft\\844812\\Kestrix\\KX_Log.txt", 42, RUN_STARTED, true},
        {"E:\\", 33, RUN_STARTED, true},
        {"c:\\Users\\kxuser\\Desktop\\KX_Disk", 33, RUN_STARTED, true},
        {"https://kestrix.example/", 33, RUN_STARTED, true},
        {"http://kestrix.example/", 32, 0, true},  // 32 is a failure of the shell
        {"C:\\no\\such\\thing.txt", SE_ERR_FNF, 0, true},
        {"services.msc", 42, 0, false},
        {"regedit.exe", 42, 0, false},
        {"KX_Disk\\kestrix.exe", 42, 0, false},
        {"C:relative.txt", 42, 0, false},
        {"\\\\server\\share\\x.txt", 42, 0, false},
        {"", 42, 0, false},
    };
    HWND owner = (HWND)0x1234;
    for (const Case &c : cases) {
        SetUp();
        shell_answer = c.shell_answer;
        EXPECT_EQ(open_with_shell(c.target, owner), c.expected) << c.target;
        EXPECT_TRUE(started.empty()) << c.target;
        ASSERT_EQ(shell_files.size(), c.shown ? 1u : 0u) << c.target;
        if (c.shown) {
            EXPECT_EQ(shell_files[0], c.target);
            EXPECT_EQ(shell_owner, owner);
            EXPECT_FALSE(shell_extra_arguments) << "no verb, parameters or directory; shown normally";
        }
    }
}

// Reads the image path of each process the real CreateProcessA starts, then lets it end.
static std::vector<std::string> started_images;
static BOOL WINAPI create_process_and_look(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                                           LPSECURITY_ATTRIBUTES thread_security, BOOL inherit, DWORD flags,
                                           LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                           LPPROCESS_INFORMATION process)
{
    BOOL created = CreateProcessA(application, command_line, process_security, thread_security, inherit, flags,
                                  environment, directory, startup, process);
    if (created) {
        char image[MAX_PATH] = "";
        DWORD size = sizeof image;
        QueryFullProcessImageNameA(process->hProcess, 0, image, &size);
        started_images.push_back(image);
        WaitForSingleObject(process->hProcess, 30000);
    }
    return created;
}

// A program named like the tool in the current directory is never the one that starts.
TEST_F(SystemCommands, RealStartTakesTheToolFromTheSystemDirectoryNotTheCurrentOne)
{
    const char *sleeper = getenv("KX_SLEEPER");
    ASSERT_NE(sleeper, nullptr) << "KX_SLEEPER is not set";
    std::string sleeper_path = std::string("Z:") + sleeper;
    for (char &c : sleeper_path)
        c = c == '/' ? '\\' : c;
    std::string dir = make_scratch_dir("planted_tool");
    ASSERT_TRUE(CopyFileA(sleeper_path.c_str(), (dir + "\\cmd.exe").c_str(), FALSE));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    started_images.clear();
    seam_create_process = create_process_and_look;

    EXPECT_EQ(start_system_tool("cmd.exe", "/c exit 0"), RUN_STARTED);

    SetCurrentDirectoryA(previous);
    ASSERT_EQ(started_images.size(), 1u);
    EXPECT_EQ(lstrcmpiA(started_images[0].c_str(), (system_dir() + "\\cmd.exe").c_str()), 0)
        << started_images[0];
    remove_tree(dir);
}

TEST_F(SystemCommands, MissingToolFailsSilently)
{
    reset_seams();
    seam_message_box = fake_message_box;
    EXPECT_EQ(start_system_tool("kx_no_such_program_4711.exe", ""), 0);
    EXPECT_EQ(open_with_shell("C:\\kx_no_such_document_4711.txt", nullptr), 0);
    EXPECT_EQ(box_calls, 0);
}

// Restart and shutdown: the system's own shutdown.exe, never one found elsewhere.
TEST_F(SystemCommands, RestartAndShutdownStartTheSystemShutdownAndTryTheSecondOptionFormOnce)
{
    const std::string shutdown = system_dir() + "\\shutdown.exe";
    const std::string quoted = "\"" + shutdown + "\" ";
    struct Case {
        int (*operation)();
        std::vector<BOOL> answers;
        std::vector<std::string> lines;
    } cases[] = {
        {restart_computer, {TRUE}, {quoted + "-r -t 0"}},
        {restart_computer, {FALSE, TRUE}, {quoted + "-r -t 0", quoted + "/r /t 0"}},
        {restart_computer, {FALSE, FALSE}, {quoted + "-r -t 0", quoted + "/r /t 0"}},
        {shut_down_computer, {TRUE}, {quoted + "-s -t 0"}},
        {shut_down_computer, {FALSE, FALSE}, {quoted + "-s -t 0", quoted + "/s /t 0"}},
    };
    for (const Case &c : cases) {
        SetUp();
        start_answers = c.answers;
        EXPECT_EQ(c.operation(), 1);
        std::vector<std::string> lines;
        for (const Started &s : started) {
            lines.push_back(s.command_line);
            EXPECT_EQ(s.application, shutdown);
            EXPECT_EQ(s.directory, system_dir());
        }
        EXPECT_EQ(lines, c.lines);
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
    for (int i = 0; i < 600; i++) {  // up to 30 s on a busy machine
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
