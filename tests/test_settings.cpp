// The settings file kx.vars and the shared file operations, with the file's bytes checked.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "log/settings_file.h"
#include "test_support.h"

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = make_scratch_dir("settings");
        path_ = dir_ + "\\kx.vars";
        text_copy(app.settings_path, path_.c_str());
        text_copy(app.settings, "000000");
    }
    void TearDown() override { remove_tree(dir_); }
    std::string dir_, path_;
};

TEST_F(SettingsTest, LoadTakesSixOptionCharactersOrNothing)
{
    struct Case {
        const char *name;
        std::string file;  // bytes on disk
        int result;
        const char *settings;
    } cases[] = {
        {"empty", "", 1, "000000"},
        {"two characters", "01", 1, "000000"},
        {"ten characters", "0100110011", 1, "010011"},
        {"six and a line end", "010000\r\n", 1, "010000"},
        {"second line ignored", "011000\r\n111111\r\n", 1, "011000"},
        // A line end is not an option character: five before it are kept, the sixth is off.
        {"five and a line end", "01000\r\n", 1, "010000"},
        {"five and a line feed", "11000\n", 1, "110000"},
        {"five at the end of the file", "11000", 1, "000000"},
        {"four and a line end", "1100\r\n", 1, "000000"},
        {"one long line", std::string(100000, '1'), 1, "111111"},
        {"other characters kept", "1x0y1z", 1, "1x0y1z"},
        {"zero byte early", std::string("01\0" "0000", 7), 1, "000000"},
    };
    for (const Case &c : cases) {
        write_file_bytes(path_, c.file);
        text_copy(app.settings, "000000");
        EXPECT_EQ(load_settings("get"), c.result) << c.name;
        EXPECT_STREQ(app.settings, c.settings) << c.name;
    }
}

TEST_F(SettingsTest, MissingFileKeepsDefaultsAndSaveCreatesSixBytes)
{
    EXPECT_EQ(load_settings("get"), 0);
    EXPECT_STREQ(app.settings, "000000");
    EXPECT_EQ(save_settings("set"), 1);
    EXPECT_EQ(read_file_bytes(path_), "000000");
}

TEST_F(SettingsTest, SaveWritesExactlySixCharactersBack)
{
    write_file_bytes(path_, "0100110011\r\nmore\r\n");
    load_settings("get");
    EXPECT_EQ(save_settings("set"), 1);
    EXPECT_EQ(read_file_bytes(path_), "010011");

    // Five characters and a line end keep the user's options and never grow the file to seven bytes.
    write_file_bytes(path_, "01000\r\n");
    text_copy(app.settings, "000000");
    load_settings("get");
    save_settings("set");
    EXPECT_EQ(read_file_bytes(path_), "010000");
}

TEST_F(SettingsTest, SaveOverwritesReadOnlyHiddenFile)
{
    write_file_bytes(path_, "111111");
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    text_copy(app.settings, "010000");
    EXPECT_EQ(save_settings("set"), 1);
    EXPECT_EQ(read_file_bytes(path_), "010000");
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(SettingsTest, BinaryGarbageGivesSixCharactersAndSixBytesBack)
{
    std::string garbage;
    for (int i = 0; i < 4096; i++)
        garbage.push_back((char)((i * 73 + 11) & 0xFF));
    write_file_bytes(path_, garbage);
    EXPECT_EQ(load_settings("get"), 1);
    EXPECT_EQ(strlen(app.settings), 6u);
    save_settings("set");
    EXPECT_EQ(read_file_bytes(path_).size(), 6u);
}

TEST_F(SettingsTest, DirectoryNamedLikeTheFileIsLeftAlone)
{
    CreateDirectoryA(path_.c_str(), nullptr);
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(load_settings("get"), 0);
    EXPECT_STREQ(app.settings, "000000");
    EXPECT_EQ(save_settings("set"), 1);  // nothing to write to; the exit goes on
    DWORD attributes = GetFileAttributesA(path_.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(SettingsTest, UnknownModeDoesNothing)
{
    write_file_bytes(path_, "111111");
    EXPECT_EQ(settings_file("put"), 1);
    EXPECT_STREQ(app.settings, "000000");
    EXPECT_EQ(read_file_bytes(path_), "111111");
}

TEST_F(SettingsTest, OpenStreamAndCountFileBytes)
{
    std::string file = dir_ + "\\data.bin";
    write_file_bytes(file, std::string("a\r\nb\0c", 6));
    EXPECT_EQ(count_file_bytes(file.c_str()), 6);
    write_file_bytes(file, "");
    EXPECT_EQ(count_file_bytes(file.c_str()), 0);
    EXPECT_EQ(count_file_bytes((dir_ + "\\missing").c_str()), 0);

    // Reading leaves attributes alone; writing makes a read-only file yield.
    write_file_bytes(file, "old");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    FILE *in = open_stream(file.c_str(), "r");
    ASSERT_NE(in, nullptr);
    fclose(in);
    EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY);
    FILE *out = open_stream(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    fputs("new\n", out);
    fclose(out);
    EXPECT_EQ(read_file_bytes(file), "new\r\n");  // text mode writes CR LF
    EXPECT_EQ(open_stream((dir_ + "\\no\\such\\dir\\f").c_str(), "w"), nullptr);
}
