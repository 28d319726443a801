// The Startup-folder shortcut in the Wine prefix: a real shell link, read back
// through IShellLinkA and found under its Cyrillic name with the wide API.
#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "drives/autostart.h"

// The shortcut's path, found independently of the code under test.
static std::wstring link_path()
{
    wchar_t folder[MAX_PATH] = L"";
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
    return std::wstring(folder) + L"\\Ярлык для kestrix.exe.LNK";
}

static bool link_exists()
{
    return GetFileAttributesW(link_path().c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The target stored in the shortcut; "unreadable" when it cannot be loaded.
static std::string link_target()
{
    std::string target = "unreadable";
    CoInitialize(nullptr);
    IShellLinkA *link = nullptr;
    IPersistFile *file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) &&
        SUCCEEDED(file->Load(link_path().c_str(), STGM_READ))) {
        char path[MAX_PATH] = "";
        if (SUCCEEDED(link->GetPath(path, sizeof path, nullptr, SLGP_RAWPATH)))
            target = path;
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return target;
}

static void remove_link()
{
    SetFileAttributesW(link_path().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(link_path().c_str());
}

class Autostart : public ::testing::Test {
protected:
    // Wine's start-up runs what lies in this folder: never leave the shortcut behind.
    void SetUp() override { remove_link(); }
    void TearDown() override { remove_link(); }
};

TEST_F(Autostart, CreatesReadsBackAndRemovesTheShortcut)
{
    text_copy(app.command_line, "\"C:\\Program Files\\Kestrix\\kestrix.exe\" -start");
    EXPECT_EQ(set_autostart(1), 1);
    ASSERT_TRUE(link_exists());
    EXPECT_EQ(link_target(), "C:\\Program Files\\Kestrix\\kestrix.exe -start");

    SetFileAttributesW(link_path().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(set_autostart(0), 1);
    EXPECT_FALSE(link_exists());
    EXPECT_EQ(set_autostart(0), 0) << "removing a shortcut the user already deleted fails";
}

TEST_F(Autostart, TargetIsTheCommandLineWithoutQuotes)
{
    const char *program = getenv("KX_EXE");
    ASSERT_TRUE(program) << "KX_EXE is not set";
    std::string real = std::string("Z:") + program;
    for (char &c : real)
        if (c == '/')
            c = '\\';
    struct Case {
        std::string command_line, target;
    } cases[] = {
        {"\"" + real + "\"", real},  // an existing program
        {"'C:\\Kestrix\\kestrix.exe'", "C:\\Kestrix\\kestrix.exe"},
        {"C:\\Kestrix\\kestrix.exe", "C:\\Kestrix\\kestrix.exe"},
        {"\"C:\\Kestrix\\kestrix.exe\"  -a 'b'", "C:\\Kestrix\\kestrix.exe  -a b"},
    };
    for (const Case &c : cases) {
        text_copy(app.command_line, c.command_line.c_str());
        EXPECT_EQ(set_autostart(1), 1) << c.command_line;  // over the previous shortcut
        EXPECT_EQ(link_target(), c.target) << c.command_line;
    }
}

TEST_F(Autostart, RefusesATargetTheShortcutCouldNotHold)
{
    std::string long_line = "\"C:\\" + std::string(MAX_PATH, 'k') + "\\kestrix.exe\"";
    text_copy(app.command_line, long_line.c_str());
    EXPECT_EQ(set_autostart(1), 0);
    EXPECT_FALSE(link_exists());
    app.command_line[0] = '\0';
    EXPECT_EQ(set_autostart(1), 0);
    EXPECT_FALSE(link_exists());
}
