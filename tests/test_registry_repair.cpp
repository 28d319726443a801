// Registry repair against Wine's real registry: foreign values set beforehand, checked after.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "common/seams.h"
#include "repair/registry_repair.h"

static std::vector<std::string> boxes;

static int WINAPI record_box(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    boxes.push_back(std::string(caption) + "|" + text);
    return IDOK;
}

// Stores a value, creating its key.
static void put(HKEY hive, const char *key, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(hive, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr), ERROR_SUCCESS);
    RegSetValueExA(handle, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(handle);
}

static void put_text(HKEY hive, const char *key, const char *name, const char *text)
{
    put(hive, key, name, REG_SZ, text, (DWORD)strlen(text) + 1);
}

static void put_number(HKEY hive, const char *key, const char *name, DWORD number)
{
    put(hive, key, name, REG_DWORD, &number, 4);
}

// "type:data" of a stored value, "absent" when missing.
static std::string get(HKEY hive, const char *key, const char *name)
{
    HKEY handle;
    if (RegOpenKeyExA(hive, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "absent";
    BYTE data[1024] = {};
    DWORD type = 0, size = sizeof data;
    LONG status = RegQueryValueExA(handle, name, nullptr, &type, data, &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return "absent";
    if (type == REG_DWORD)
        return "dword:" + std::to_string(*(DWORD *)data);
    // Wine stores a terminator after text written without one, so only an empty value shows its size.
    return (size == 0 ? "sz0:" : "sz:") + std::string((char *)data);
}

static bool key_exists(HKEY hive, const char *key)
{
    HKEY handle;
    if (RegOpenKeyExA(hive, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

static const char WINLOGON[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
static const char ADVANCED[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
static const char SHOWALL[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
static const char CONTROL[] = "SYSTEM\\CurrentControlSet\\Control";
static const char NT_WINDOWS[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
static const char POLICIES_SYSTEM[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
static const char POLICIES_EXPLORER[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
static const char SYSTEM_RESTORE[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
static const char EXE_OPEN[] = "exefile\\shell\\open\\command";
static const char USER_RUN[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char IFEO[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";

static const char *const TOOLS[] = {"explorer.exe", "reg.exe",    "cmd.exe",     "regedit.exe",
                                    "services.msc", "rstrui.exe", "taskmgr.exe", "kestrix.exe"};

struct Row {
    HKEY hive;
    const char *key;
    const char *name;
    std::string repaired;  // what the value must be after repair
};

class RegistryRepairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(init_app_state(), 1);
        boxes.clear();
        seam_message_box = record_box;
        app.events[0][0] = '\0';
    }
    void TearDown() override { reset_seams(); }

    // Every value of the table set to foreign data, the way malware leaves them.
    void infect()
    {
        put_text(HKEY_LOCAL_MACHINE, WINLOGON, "Userinit", "C:\\evil.exe,");
        put_text(HKEY_LOCAL_MACHINE, WINLOGON, "Shell", "explorer.exe virus.exe");
        put_text(HKEY_LOCAL_MACHINE, WINLOGON, "UIHost", "evil.exe");
        put_text(HKEY_CURRENT_USER, ADVANCED, "Hidden", "1");  // a text: reads as 49
        put_number(HKEY_CURRENT_USER, SHOWALL, "CheckedValue", 0);
        put_text(HKEY_LOCAL_MACHINE, CONTROL, "WaitToKillServiceTimeout", "60000");
        put_text(HKEY_LOCAL_MACHINE, NT_WINDOWS, "AppInit_DLLs", "C:\\evil.dll");
        for (const char *name : {"DisableRegedit", "DisableRegistryTools", "DisableTaskMgr"}) {
            put_number(HKEY_LOCAL_MACHINE, POLICIES_SYSTEM, name, 1);
            put_number(HKEY_CURRENT_USER, POLICIES_SYSTEM, name, 1);
        }
        put_number(HKEY_LOCAL_MACHINE, POLICIES_EXPLORER, "NoFolderOptions", 1);
        put_number(HKEY_CURRENT_USER, POLICIES_EXPLORER, "NoFolderOptions", 1);
        put_number(HKEY_CURRENT_USER, POLICIES_SYSTEM, "NoDispBackgroundPage", 1);
        put_number(HKEY_CURRENT_USER, POLICIES_SYSTEM, "NoDispScrSavPage", 1);
        put_number(HKEY_LOCAL_MACHINE, SYSTEM_RESTORE, "DisableSR", 1);
        put_text(HKEY_CLASSES_ROOT, EXE_OPEN, "", "C:\\evil.exe \"%1\" %*");
        put_text(HKEY_CURRENT_USER, USER_RUN, "CTFMON.EXE", "C:\\evil.exe");
        put_number(HKEY_CURRENT_USER, POLICIES_EXPLORER, "RestrictRun", 1);
        put_number(HKEY_CURRENT_USER, POLICIES_EXPLORER, "DisallowRun", 1);
        for (const char *tool : TOOLS)
            put_text(HKEY_LOCAL_MACHINE, (std::string(IFEO) + tool).c_str(), "Debugger", "C:\\evil.exe");
    }

    std::vector<Row> basic_rows()
    {
        return {
            {HKEY_LOCAL_MACHINE, WINLOGON, "Userinit", std::string("sz:") + app.userinit_default},
            {HKEY_LOCAL_MACHINE, WINLOGON, "Shell", "sz:Explorer.exe"},
            {HKEY_LOCAL_MACHINE, WINLOGON, "UIHost", "sz:logonui.exe"},
            {HKEY_CURRENT_USER, ADVANCED, "Hidden", "dword:1"},
            {HKEY_CURRENT_USER, SHOWALL, "CheckedValue", "dword:1"},
            {HKEY_LOCAL_MACHINE, CONTROL, "WaitToKillServiceTimeout", "sz:7000"},
        };
    }

    std::vector<Row> extended_rows()
    {
        std::string ctfmon = std::string(app.system_dir) + "\\ctfmon.exe";
        std::vector<Row> rows = {
            {HKEY_LOCAL_MACHINE, NT_WINDOWS, "AppInit_DLLs", "sz0:"},
            {HKEY_LOCAL_MACHINE, POLICIES_EXPLORER, "NoFolderOptions", "dword:0"},
            {HKEY_CURRENT_USER, POLICIES_EXPLORER, "NoFolderOptions", "dword:0"},
            {HKEY_CURRENT_USER, POLICIES_SYSTEM, "NoDispBackgroundPage", "dword:0"},
            {HKEY_CURRENT_USER, POLICIES_SYSTEM, "NoDispScrSavPage", "dword:0"},
            {HKEY_LOCAL_MACHINE, SYSTEM_RESTORE, "DisableSR", "dword:0"},
            {HKEY_CLASSES_ROOT, EXE_OPEN, "", "sz:\"%1\" %*"},
            {HKEY_CURRENT_USER, USER_RUN, "CTFMON.EXE", "sz:" + ctfmon},
            {HKEY_CURRENT_USER, POLICIES_EXPLORER, "RestrictRun", "absent"},
            {HKEY_CURRENT_USER, POLICIES_EXPLORER, "DisallowRun", "absent"},
        };
        for (const char *name : {"DisableRegedit", "DisableRegistryTools", "DisableTaskMgr"}) {
            rows.push_back({HKEY_LOCAL_MACHINE, POLICIES_SYSTEM, name, "dword:0"});
            rows.push_back({HKEY_CURRENT_USER, POLICIES_SYSTEM, name, "dword:0"});
        }
        return rows;
    }
};

TEST_F(RegistryRepairTest, EveryScanRepairsTheBasicRowsSilently)
{
    infect();
    app.manual_scan = 0;
    EXPECT_EQ(repair_registry(), 1);
    for (const Row &row : basic_rows())
        EXPECT_EQ(get(row.hive, row.key, row.name), row.repaired) << row.name;
    // The extended rows wait for the manual check.
    EXPECT_EQ(get(HKEY_LOCAL_MACHINE, NT_WINDOWS, "AppInit_DLLs"), "sz:C:\\evil.dll");
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, (std::string(IFEO) + "taskmgr.exe").c_str()));
    EXPECT_STREQ(app.events[0], "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(RegistryRepairTest, ManualCheckRepairsEverythingLogsAndShowsTheBox)
{
    infect();
    app.manual_scan = 1;
    EXPECT_EQ(repair_registry(), 1);
    for (const Row &row : basic_rows())
        EXPECT_EQ(get(row.hive, row.key, row.name), row.repaired) << row.name;
    for (const Row &row : extended_rows())
        EXPECT_EQ(get(row.hive, row.key, row.name), row.repaired) << row.name;
    for (const char *tool : TOOLS)
        EXPECT_EQ(get(HKEY_LOCAL_MACHINE, (std::string(IFEO) + tool).c_str(), "Debugger"), "absent") << tool;

    EXPECT_NE(strstr(app.events[0], "Чистка реестра после вируса. Недоступных ключей: 0."), nullptr) << app.events[0];
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Результат|Чистка реестра завершена.     \nЕсли следы вируса остались  -     \n"
                        "перезагрузите компьютер:      \nCTRL + ALT + стрелка ВПРАВО.           ");
}

TEST_F(RegistryRepairTest, ServiceTimeoutKeptOnlyInsideItsRange)
{
    app.manual_scan = 0;
    struct Case {
        const char *stored;  // nullptr: value missing
        std::string after;
    } cases[] = {
        {"20000", "sz:20000"}, {"1", "sz:1"},       {"30000", "sz:30000"}, {"0", "sz:7000"},
        {"", "sz:7000"},       {"abc", "sz:7000"}, {"60000", "sz:7000"}, {"30001", "sz:7000"},
        {"-5", "sz:7000"},     {nullptr, "sz:7000"},
    };
    for (const Case &c : cases) {
        HKEY key;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, CONTROL, 0, KEY_ALL_ACCESS, &key);
        RegDeleteValueA(key, "WaitToKillServiceTimeout");
        RegCloseKey(key);
        if (c.stored)
            put_text(HKEY_LOCAL_MACHINE, CONTROL, "WaitToKillServiceTimeout", c.stored);
        repair_registry();
        EXPECT_EQ(get(HKEY_LOCAL_MACHINE, CONTROL, "WaitToKillServiceTimeout"), c.after)
            << (c.stored ? c.stored : "(missing)");
    }
}

TEST_F(RegistryRepairTest, MissingUserExplorerPolicyKeyCountsTheTwoDeletions)
{
    app.manual_scan = 1;
    repair_registry();  // everything standard now
    RegDeleteTreeA(HKEY_CURRENT_USER, POLICIES_EXPLORER);
    app.events[0][0] = '\0';
    repair_registry();
    EXPECT_NE(strstr(app.events[0], "Недоступных ключей: 2."), nullptr) << app.events[0];
    // Keys are opened, never created.
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, POLICIES_EXPLORER));
    put_number(HKEY_CURRENT_USER, POLICIES_EXPLORER, "NoFolderOptions", 0);
}

// An image's options key holds its exploit-protection settings too: only the debugger goes,
// whether the key has subkeys of its own (every other tool here) or not.
TEST_F(RegistryRepairTest, ImageOptionsLoseTheDebuggerOnly)
{
    const BYTE mitigations[8] = {0x00, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::string mitigation_bytes((const char *)mitigations, sizeof mitigations);
    for (size_t i = 0; i < sizeof TOOLS / sizeof TOOLS[0]; i++) {
        std::string key = std::string(IFEO) + TOOLS[i];
        put_text(HKEY_LOCAL_MACHINE, key.c_str(), "Debugger", "C:\\evil.exe");
        put(HKEY_LOCAL_MACHINE, key.c_str(), "MitigationOptions", REG_BINARY, mitigations, sizeof mitigations);
        if (i % 2)
            put_number(HKEY_LOCAL_MACHINE, (key + "\\PerfOptions").c_str(), "CpuPriorityClass", 3);
    }
    app.manual_scan = 1;
    repair_registry();
    for (size_t i = 0; i < sizeof TOOLS / sizeof TOOLS[0]; i++) {
        std::string key = std::string(IFEO) + TOOLS[i];
        EXPECT_EQ(get(HKEY_LOCAL_MACHINE, key.c_str(), "Debugger"), "absent") << TOOLS[i];
        BYTE data[16] = {};
        DWORD type = 0, size = sizeof data;
        EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "MitigationOptions", RRF_RT_ANY, &type, data, &size),
                  ERROR_SUCCESS)
            << TOOLS[i];
        EXPECT_EQ(type, (DWORD)REG_BINARY) << TOOLS[i];
        EXPECT_EQ(std::string((char *)data, size), mitigation_bytes) << TOOLS[i];
        if (i % 2)
            EXPECT_EQ(get(HKEY_LOCAL_MACHINE, (key + "\\PerfOptions").c_str(), "CpuPriorityClass"), "dword:3")
                << TOOLS[i];
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    }
}
