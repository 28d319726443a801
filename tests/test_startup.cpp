// Start-up: the data folder, the command line, paths and what init_app_state records.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "test_support.h"

static std::string folder_name(const char *user)
{
    char out[7] = "";
    EXPECT_EQ(user_folder_name(user, out, sizeof out), 1);
    return out;
}

TEST(UserFolderName, DerivesSixDigitsFromTheUserName)
{
    EXPECT_EQ(folder_name("Admin"), "659712");
    EXPECT_EQ(folder_name("Гость"), "587123");  // code page 1251 bytes count as negative
    EXPECT_EQ(folder_name("a"), "267312");
    EXPECT_EQ(folder_name(std::string(200, '\xFF').c_str()), "302021");  // 170 - 200 made positive, length 202
}

// Sets an environment variable for the life of the object (nullptr removes it).
struct ScopedEnv {
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        had_ = GetEnvironmentVariableA(name, old_, sizeof old_) != 0;
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnv() { SetEnvironmentVariableA(name_, had_ ? old_ : nullptr); }
    const char *name_;
    char old_[1024];
    bool had_;
};

TEST(DataFolderPath, BuiltFromSystemDriveAndUserName)
{
    ScopedEnv drive("SystemDrive", "C:");
    {
        ScopedEnv user("USERNAME", "Admin");
        char out[512] = "";
        ASSERT_EQ(data_folder_path(out, sizeof out), 1);
        EXPECT_STREQ(out, "C:\\ProgramData\\TarvelSoft\\659712");
        EXPECT_NE(GetFileAttributesA(out), INVALID_FILE_ATTRIBUTES);
    }
    {
        ScopedEnv user("USERNAME", nullptr);
        char out[512] = "";
        EXPECT_EQ(data_folder_path(out, sizeof out), 0);
    }
    {
        ScopedEnv user("USERNAME", std::string(200, 'u').c_str());  // longer than the usual 64-byte read
        char out[512] = "";
        ASSERT_EQ(data_folder_path(out, sizeof out), 1);
        EXPECT_STREQ(out, ("C:\\ProgramData\\TarvelSoft\\" + folder_name(std::string(200, 'u').c_str())).c_str());
    }
    {
        ScopedEnv user("USERNAME", "Admin");
        ScopedEnv no_drive("SystemDrive", nullptr);
        char out[512] = "";
        ASSERT_EQ(data_folder_path(out, sizeof out), 1);
        EXPECT_STREQ(out, "C:\\ProgramData\\TarvelSoft\\659712");
        char small[20];
        EXPECT_EQ(data_folder_path(small, sizeof small), 0);  // never a cut path
    }
}

TEST(PathExists, DropsOneTrailingLineFeedFromTheCallersText)
{
    std::string dir = make_scratch_dir("exists");
    char path[512];
    snprintf(path, sizeof path, "%s\n", dir.c_str());
    EXPECT_EQ(path_exists(path), 1);
    EXPECT_EQ(std::string(path), dir);

    snprintf(path, sizeof path, "%s\n\n", dir.c_str());
    EXPECT_EQ(path_exists(path), 0);  // only one line feed goes
    EXPECT_EQ(std::string(path), dir + "\n");

    snprintf(path, sizeof path, "%s\\nothing", dir.c_str());
    EXPECT_EQ(path_exists(path), 0);
    remove_tree(dir);
}

TEST(MakeDirectories, ReportsExistingCreatedAndFailed)
{
    std::string dir = make_scratch_dir("mkdirs");
    EXPECT_EQ(make_directories(dir.c_str()), 2);
    std::string nested = dir + "\\a\\b/c";
    EXPECT_EQ(make_directories(nested.c_str()), 1);
    EXPECT_NE(GetFileAttributesA((dir + "\\a\\b\\c").c_str()), INVALID_FILE_ATTRIBUTES);

    write_file_bytes(dir + "\\file", "x");
    EXPECT_EQ(make_directories((dir + "\\file\\sub").c_str()), 0);

    // A path without a drive is taken relative to the current directory.
    char previous[512];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(dir.c_str());
    EXPECT_EQ(make_directories("rel\\inner"), 1);
    SetCurrentDirectoryA(previous);
    EXPECT_NE(GetFileAttributesA((dir + "\\rel\\inner").c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(make_directories((dir + "\\" + std::string(600, 'x')).c_str()), 0);
    remove_tree(dir);
}

TEST(EmergencyStart, CommandLineOptionOrMarkerInCurrentDirectory)
{
    std::string dir = make_scratch_dir("emergency");
    char previous[512];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(dir.c_str());
    struct Case {
        const char *command_line;
        bool marker_folder;
        int expected;
    } cases[] = {
        {"\"C:\\Program Files\\Kestrix\\kestrix.exe\" -start", false, 1},
        {"C:\\kestrix.exe -START", false, 0},
        {"C:\\kestrix.exe-start", false, 0},
        {"C:\\kestrix.exe", false, 0},
        {"C:\\kestrix.exe", true, 1},  // a folder named kx_start.txt counts too
    };
    for (const Case &c : cases) {
        if (c.marker_folder)
            CreateDirectoryA("kx_start.txt", nullptr);
        strcpy(app.command_line, c.command_line);
        app.emergency_start = 0;
        detect_emergency_start();
        EXPECT_EQ(app.emergency_start, c.expected) << c.command_line;
        RemoveDirectoryA("kx_start.txt");
    }
    SetCurrentDirectoryA(previous);
    remove_tree(dir);
}

static const char NT_KEY[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

TEST(DetectXp, ProductNameDecidesAndUnreadableCountsAsXp)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, NT_KEY, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    char saved[512] = "";
    DWORD size = sizeof saved;
    RegQueryValueExA(key, "ProductName", nullptr, nullptr, (BYTE *)saved, &size);

    struct Case {
        const char *product;  // nullptr: the value is missing
        int expected;
    } cases[] = {{"Microsoft Windows XP", 1}, {"Windows 7 Professional", 0}, {"Windows Xp", 0}, {nullptr, 1}};
    for (const Case &c : cases) {
        if (c.product)
            RegSetValueExA(key, "ProductName", 0, REG_SZ, (const BYTE *)c.product, (DWORD)strlen(c.product) + 1);
        else
            RegDeleteValueA(key, "ProductName");
        app.is_xp = -1;
        detect_xp();
        EXPECT_EQ(app.is_xp, c.expected) << (c.product ? c.product : "(missing)");
    }
    RegSetValueExA(key, "ProductName", 0, REG_SZ, (const BYTE *)saved, (DWORD)strlen(saved) + 1);
    RegCloseKey(key);
}

TEST(ReadFileVersion, ReadsTheRussianStringTable)
{
    std::string exe = kestrix_exe_path();
    ASSERT_FALSE(exe.empty()) << "KX_EXE is not set";
    char version[512] = "";
    EXPECT_EQ(read_file_version(exe.c_str(), version, sizeof version), 1);
    EXPECT_STREQ(version, "4, 3, 2013, 3");

    char unchanged[512] = "keep";
    EXPECT_EQ(read_file_version("C:\\no\\such\\file.exe", unchanged, sizeof unchanged), 0);
    std::string dir = make_scratch_dir("version");
    write_file_bytes(dir + "\\plain.exe", "MZ not a real program");
    EXPECT_EQ(read_file_version((dir + "\\plain.exe").c_str(), unchanged, sizeof unchanged), 0);
    EXPECT_STREQ(unchanged, "keep");
    remove_tree(dir);
}

static const char SHELL_FOLDERS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(InitAppState, FillsPathsDefaultsAndRegions)
{
    ASSERT_EQ(init_app_state(), 1);
    DeleteFileA(app.settings_path);  // a settings file left by another test would be loaded
    ASSERT_EQ(init_app_state(), 1);
    char folder[7];
    char user[512];
    GetEnvironmentVariableA("USERNAME", user, sizeof user);
    user_folder_name(user, folder, sizeof folder);
    std::string data_dir = std::string("C:\\ProgramData\\TarvelSoft\\") + folder + "\\Kestrix";
    EXPECT_STREQ(app.data_dir, data_dir.c_str());
    EXPECT_NE(GetFileAttributesA(app.data_dir), INVALID_FILE_ATTRIBUTES);
    EXPECT_STREQ(app.log_path, (data_dir + "\\KX_Log.txt").c_str());
    EXPECT_STREQ(app.settings_path, (data_dir + "\\kx.vars").c_str());

    char system_dir[512];
    GetSystemDirectoryA(system_dir, sizeof system_dir);
    EXPECT_STREQ(app.system_dir, system_dir);
    EXPECT_STREQ(app.userinit_default, (std::string(system_dir) + "\\userinit.exe,").c_str());
    EXPECT_NE(strstr(app.desktop_dir, "Desktop"), nullptr);
    EXPECT_EQ(strncmp(app.hint_text, "Kestrix 4.3: ", 13), 0);
    EXPECT_GT(strlen(app.hint_text), 13u);
    EXPECT_STREQ(app.settings, "000000");
    EXPECT_STREQ(app.program_version, "");  // the test program has no version block

    EXPECT_EQ(app.monitoring, 1);
    EXPECT_EQ(app.monitoring_saved, 1);
    EXPECT_EQ(app.signal_on, 1);
    EXPECT_EQ(app.shown_region, 100);
    EXPECT_EQ(app.previous_process_count, 100);
    EXPECT_EQ(app.busy, 0);
    EXPECT_EQ(app.hover_rect.right, 1);
    EXPECT_EQ(app.hover_rect.bottom, 1);
    EXPECT_STREQ(app.flash_root, "");
    EXPECT_STREQ(app.events[20], "");

    EXPECT_EQ(app.regions[0].number, 1);
    EXPECT_EQ(app.regions[3].source.top, 2);
    EXPECT_EQ(app.regions[3].hit.top, 203);
    EXPECT_EQ(app.regions[4].hit.bottom, 270);
    EXPECT_EQ(app.regions[13].number, 19);
    EXPECT_EQ(app.regions[13].hit.right, 490);
}

// The program file is the module the loader mapped, whatever the command line says: a
// quoted path holding ".exe " early must not name another file as the program.
TEST(InitAppState, ProgramPathComesFromTheModuleNotTheCommandLine)
{
    char module[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, module, sizeof module), 0u);
    char *command_line = GetCommandLineA();
    const std::string saved = command_line;
    const char planted[] = "\"C:\\tools.exe kit\\kestrix.exe\" -start";
    ASSERT_GE(saved.size(), strlen(planted)) << "the test's own command line is the room to write into";
    strcpy(command_line, planted);
    int initialised = init_app_state();
    strcpy(command_line, saved.c_str());
    ASSERT_EQ(initialised, 1);
    EXPECT_STREQ(app.exe_path, module);
    EXPECT_EQ(app.emergency_start, 1);  // the option itself is still read from the command line
    app.emergency_start = 0;
}

// The ACEs of a folder's DACL as "SID:mask" texts, and whether it is protected from inheritance.
static std::string folder_access(const std::string &path)
{
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string block(size, '\0');
    if (!size || !GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, (PSECURITY_DESCRIPTOR)&block[0], size, &size))
        return "unreadable";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl((PSECURITY_DESCRIPTOR)&block[0], &control, &revision);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl((PSECURITY_DESCRIPTOR)&block[0], &present, &dacl, &defaulted);
    std::string text = (control & SE_DACL_PROTECTED) ? "protected" : "inherits";
    for (DWORD i = 0; present && dacl && i < dacl->AceCount; i++) {
        ACCESS_ALLOWED_ACE *ace = nullptr;
        if (!GetAce(dacl, i, (void **)&ace) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            return text + " other ACE";
        char *sid = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sid);
        char mask[16];
        snprintf(mask, sizeof mask, "%lx", (unsigned long)ace->Mask);
        text += std::string(" ") + (sid ? sid : "?") + ":" + mask + ":" + std::to_string(ace->Header.AceFlags);
        LocalFree(sid);
    }
    return text;
}

// Every level of the data folder the program creates lets administrators and SYSTEM
// change it and users only read it, so nobody else can put a link where it writes.
TEST(InitAppState, DataFolderLevelsAreCreatedForAdministratorsOnly)
{
    char user_name[64];
    snprintf(user_name, sizeof user_name, "kx_acl_%lu_%lu", GetCurrentProcessId(), GetTickCount());
    char folder[7];
    user_folder_name(user_name, folder, sizeof folder);
    const std::string level = std::string("C:\\ProgramData\\TarvelSoft\\") + folder;
    ASSERT_EQ(GetFileAttributesA(level.c_str()), INVALID_FILE_ATTRIBUTES) << "pick another name";
    {
        ScopedEnv user("USERNAME", user_name);
        ASSERT_EQ(init_app_state(), 1);
    }
    // Windows keeps the descriptor as given. Wine keeps none: it turns the one given into
    // Unix permissions and shows those back as SYSTEM and the owner, so there what is seen
    // is that everyone else lost access, which a folder made the ordinary way grants.
    const std::string given = "protected S-1-5-18:1f01ff:3 S-1-5-32-544:1f01ff:3 S-1-5-32-545:1200a9:3";
    const std::string everyone = " S-1-1-0:";
    for (const std::string &made : {level, level + "\\Kestrix"}) {
        std::string access = folder_access(made);
        if (access.compare(0, 9, "protected") == 0)
            EXPECT_EQ(access, given) << made;
        else
            EXPECT_EQ(access.find(everyone), std::string::npos) << made << ": " << access;
    }
    CreateDirectoryA((level + "_plain").c_str(), nullptr);
    EXPECT_NE(folder_access(level + "_plain").find(everyone), std::string::npos) << "the control shows nothing";
    RemoveDirectoryA((level + "_plain").c_str());
    EXPECT_STREQ(app.data_dir, (level + "\\Kestrix").c_str());
    RemoveDirectoryA((level + "\\Kestrix").c_str());
    RemoveDirectoryA(level.c_str());
}

TEST(InitAppState, DesktopPathRules)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SHELL_FOLDERS, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    char saved[512] = "";
    DWORD size = sizeof saved;
    RegQueryValueExA(key, "DeskTop", nullptr, nullptr, (BYTE *)saved, &size);

    std::string longest = "C:\\" + std::string(508, 'd');  // 511 characters still fit
    RegSetValueExA(key, "DeskTop", 0, REG_SZ, (const BYTE *)longest.c_str(), (DWORD)longest.size() + 1);
    EXPECT_EQ(init_app_state(), 1);
    EXPECT_EQ(std::string(app.desktop_dir), longest);

    std::string too_long = "C:\\" + std::string(600, 'd');
    RegSetValueExA(key, "DeskTop", 0, REG_SZ, (const BYTE *)too_long.c_str(), (DWORD)too_long.size() + 1);
    EXPECT_EQ(init_app_state(), 0);

    RegDeleteValueA(key, "DeskTop");
    EXPECT_EQ(init_app_state(), 0);

    RegSetValueExA(key, "DeskTop", 0, REG_SZ, (const BYTE *)saved, (DWORD)strlen(saved) + 1);
    RegCloseKey(key);
    EXPECT_EQ(init_app_state(), 1);
}

TEST(InitAppState, NoUserNameStopsStartUp)
{
    ScopedEnv user("USERNAME", nullptr);
    EXPECT_EQ(init_app_state(), 0);
}
