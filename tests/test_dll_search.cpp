// DLL search restriction: system DLLs load from System32, never from the program's folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/dll_search.h"

static std::string module_path(HMODULE module)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(module, path, sizeof path);
    return path;
}

static std::string lower(std::string text)
{
    CharLowerA(&text[0]);
    return text;
}

TEST(LoadSystemDll, TakesSystem32AndNeverTheProgramFolder)
{
    // A DLL the ordinary search finds beside this test program (KX_PLANTED_DLL is its Unix path).
    const char *planted_unix = getenv("KX_PLANTED_DLL");
    ASSERT_NE(planted_unix, nullptr);
    std::string planted = std::string("Z:") + planted_unix;
    for (char &c : planted)
        if (c == '/')
            c = '\\';
    std::string exe = module_path(nullptr);
    std::string folder = exe.substr(0, exe.rfind('\\') + 1);
    std::string name = "kxplanted_" + std::to_string(GetCurrentProcessId());
    std::string beside = folder + name + ".dll";
    ASSERT_TRUE(CopyFileA(planted.c_str(), beside.c_str(), FALSE));

    HMODULE found = LoadLibraryA((name + ".dll").c_str());
    EXPECT_NE(found, nullptr) << "the ordinary search should find " << beside;
    if (found)
        FreeLibrary(found);
    EXPECT_EQ(load_system_dll((name + ".dll").c_str()), nullptr);
    DeleteFileA(beside.c_str());
    DeleteFileA((folder + name + ".loaded").c_str());

    char system_dir[MAX_PATH] = "";
    GetSystemDirectoryA(system_dir, sizeof system_dir);
    for (const char *dll : {"winmm.dll", "comdlg32.dll", "gdiplus.dll"}) {
        HMODULE module = load_system_dll(dll);
        ASSERT_NE(module, nullptr) << dll;
        EXPECT_EQ(lower(module_path(module)), lower(std::string(system_dir) + "\\" + dll));
    }
}
