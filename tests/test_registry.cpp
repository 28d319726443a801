// Registry value operations and the autorun policy against Wine's real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "drives/autorun_policy.h"
#include "repair/registry_values.h"

static const char TEST_KEY[] = "Software\\KestrixTest";
static const char POLICY_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, TEST_KEY);
        RegCreateKeyExA(HKEY_CURRENT_USER, TEST_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, TEST_KEY);
    }
    void store(const char *name, DWORD type, const void *data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, (const BYTE *)data, size), ERROR_SUCCESS);
    }
    void store_text(const char *name, const char *text, DWORD type = REG_SZ)
    {
        store(name, type, text, (DWORD)strlen(text) + 1);
    }
    // Type and size of a stored value; type 0 when absent.
    DWORD stored_type(const char *name, DWORD *size = nullptr)
    {
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            return 0;
        if (size)
            *size = bytes;
        return type;
    }
    std::string read(const char *name, int kind)
    {
        char out[512] = "untouched";
        int ok = read_registry_value(HKEY_CURRENT_USER, TEST_KEY, name, out, sizeof out, kind);
        return ok ? std::string(out) : "fail:" + std::string(out);
    }
    HKEY key_ = nullptr;
};

TEST_F(RegistryTest, ReadsTextsAndNumbersWhateverTheirStoredType)
{
    DWORD minus_one = 0xFFFFFFFF, seven = 7;
    store_text("text", "Explorer.exe");
    store_text("one", "1");
    store("minus", REG_DWORD, &minus_one, 4);
    store("seven", REG_DWORD, &seven, 4);
    store("short", REG_BINARY, "\x05", 1);

    EXPECT_EQ(read("text", REG_KIND_TEXT), "Explorer.exe");
    EXPECT_EQ(read("one", REG_KIND_NUMBER), "49");  // the byte '1' read as a number
    EXPECT_EQ(read("minus", REG_KIND_NUMBER), "-1");
    EXPECT_EQ(read("seven", REG_KIND_NUMBER), "7");
    EXPECT_EQ(read("short", REG_KIND_NUMBER), "5");  // shorter data is zero-extended
    EXPECT_EQ(read("missing", REG_KIND_TEXT), "fail:untouched");

    char out[512] = "untouched";
    EXPECT_EQ(read_registry_value(HKEY_CURRENT_USER, "Software\\KestrixTest\\NoSuchKey", "text", out, sizeof out,
                                  REG_KIND_TEXT),
              0);
    EXPECT_STREQ(out, "untouched");
}

TEST_F(RegistryTest, OversizedValuesAreNotReadAndNeverOverrun)
{
    std::string long_text(600, 'a');
    store_text("long", long_text.c_str());
    EXPECT_EQ(read("long", REG_KIND_TEXT), "fail:untouched");

    // 512 characters stored without a terminator fill the query buffer exactly.
    std::string exact(512, 'b');
    store("exact", REG_SZ, exact.data(), 512);
    EXPECT_EQ(read("exact", REG_KIND_TEXT), "fail:untouched");

    // A small caller buffer: a text that does not fit is refused, not cut.
    store_text("word", "explorer.exe");
    char tiny[8] = "same";
    EXPECT_EQ(read_registry_value(HKEY_CURRENT_USER, TEST_KEY, "word", tiny, sizeof tiny, REG_KIND_TEXT), 0);
    EXPECT_STREQ(tiny, "same");
}

TEST_F(RegistryTest, WriteComparesBeforeWriting)
{
    // An equal value is not written again: the stored type proves it was left alone.
    store_text("shell", "Explorer.exe", REG_EXPAND_SZ);
    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, TEST_KEY, "shell", "Explorer.exe", REG_KIND_TEXT), 1);
    EXPECT_EQ(stored_type("shell"), (DWORD)REG_EXPAND_SZ);

    // The comparison is case-sensitive.
    store_text("lower", "explorer.exe", REG_EXPAND_SZ);
    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, TEST_KEY, "lower", "Explorer.exe", REG_KIND_TEXT), 1);
    EXPECT_EQ(stored_type("lower"), (DWORD)REG_SZ);
    EXPECT_EQ(read("lower", REG_KIND_TEXT), "Explorer.exe");

    // A text "1" reads as the number 49, so writing the number 1 replaces it.
    store_text("flag", "1");
    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, TEST_KEY, "flag", "1", REG_KIND_NUMBER), 1);
    DWORD size = 0;
    EXPECT_EQ(stored_type("flag", &size), (DWORD)REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(read("flag", REG_KIND_NUMBER), "1");
}

TEST_F(RegistryTest, WriteStoresTextWithoutTerminatorAndNumbersAsDword)
{
    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, TEST_KEY, "empty", "", REG_KIND_TEXT), 1);
    DWORD size = 99;
    EXPECT_EQ(stored_type("empty", &size), (DWORD)REG_SZ);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, TEST_KEY, "policy", "149", REG_KIND_NUMBER), 1);
    EXPECT_EQ(read("policy", REG_KIND_NUMBER), "149");
    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, TEST_KEY, "name", "userinit.exe,", REG_KIND_TEXT), 1);
    EXPECT_EQ(read("name", REG_KIND_TEXT), "userinit.exe,");
}

TEST_F(RegistryTest, WriteUnderMissingKeyReturnsTwoAndCreatesNothing)
{
    EXPECT_EQ(write_registry_value(HKEY_CURRENT_USER, "Software\\KestrixTest\\Missing", "v", "1", REG_KIND_NUMBER), 2);
    HKEY probe;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KestrixTest\\Missing", 0, KEY_READ, &probe), ERROR_SUCCESS);
}

TEST_F(RegistryTest, DeleteReportsWhetherAValueWent)
{
    store_text("gone", "x");
    EXPECT_EQ(delete_registry_value(HKEY_CURRENT_USER, TEST_KEY, "gone"), 1);
    EXPECT_EQ(stored_type("gone"), 0u);
    EXPECT_EQ(delete_registry_value(HKEY_CURRENT_USER, TEST_KEY, "gone"), 0);
    EXPECT_EQ(delete_registry_value(HKEY_CURRENT_USER, "Software\\KestrixTest\\Missing", "gone"), 0);
}

// The policy value lives in a real system key; each case sets it up itself.
class AutorunPolicyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, POLICY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        RegDeleteValueA(key_, "NoDriveTypeAutoRun");
    }
    void TearDown() override
    {
        RegDeleteValueA(key_, "NoDriveTypeAutoRun");
        RegCloseKey(key_);
    }
    void store(DWORD value) { RegSetValueExA(key_, "NoDriveTypeAutoRun", 0, REG_DWORD, (BYTE *)&value, 4); }
    long stored()
    {
        DWORD value = 0, size = 4;
        if (RegQueryValueExA(key_, "NoDriveTypeAutoRun", nullptr, nullptr, (BYTE *)&value, &size) != ERROR_SUCCESS)
            return -1;
        return (long)value;
    }
    HKEY key_ = nullptr;
};

TEST_F(AutorunPolicyTest, OperationsChangeOnlyTheRemovableBit)
{
    struct Case {
        long before;  // -1: value absent
        const char *operation;
        int result;
        long after;
    } cases[] = {
        {-1, "get", 0, 145},      {149, "get", 1, 149},     {145, "set_149", 1, 149}, {149, "set_145", 1, 145},
        {145, "set_145", 1, 145}, {255, "get", 1, 255},     {255, "set_145", 1, 251}, {4, "set_145", 1, 0},
        {0, "set_149", 1, 4},     {149, "set_149", 1, 149}, {-1, "toggle", 0, 145},   {149, "GET", 0, 149},
    };
    for (const Case &c : cases) {
        RegDeleteValueA(key_, "NoDriveTypeAutoRun");
        if (c.before >= 0)
            store((DWORD)c.before);
        EXPECT_EQ(autorun_policy(c.operation), c.result) << c.before << " " << c.operation;
        EXPECT_EQ(stored(), c.after) << c.before << " " << c.operation;
    }
}

TEST_F(AutorunPolicyTest, ChangeThatCannotBeStoredIsAFailure)
{
    // Without the policy key nothing can be stored, so no change may be reported.
    RegCloseKey(key_);
    key_ = nullptr;
    RegDeleteTreeA(HKEY_CURRENT_USER, POLICY_KEY);
    EXPECT_EQ(autorun_policy("set_149"), 0);
    EXPECT_EQ(autorun_policy("get"), 0);
    EXPECT_EQ(autorun_policy("set_145"), 1);  // the bit is already clear
    HKEY probe;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, POLICY_KEY, 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCreateKeyExA(HKEY_CURRENT_USER, POLICY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
}
