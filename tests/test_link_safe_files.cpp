// Writes into folders a user can change never follow links: the data folder's files
// (settings, log and its copy), the clipboard file, and the shared operations under them,
// each tried against every kind of link Wine can stage.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/system_commands.h"
#include "common/bounded_text.h"
#include "common/link_safe_files.h"
#include "log/event_log.h"
#include "log/settings_file.h"
#include "test_support.h"
#include "unix_links.h"

// Names and bytes of the files in a folder, to show that nothing there changed.
static std::string folder_contents(const std::string &folder)
{
    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            if (found.cFileName[0] != '.')
                entries.push_back(std::string(found.cFileName) + "=" + read_file_bytes(folder + "\\" + found.cFileName));
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (const std::string &entry : entries)
        text += entry + "\n";
    return text;
}

static void put_text_on_clipboard(const std::string &text)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
}

class LinkSafeFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = app;
        dir_ = make_scratch_dir("links");
        outside_ = make_scratch_dir("outside");
        write_file_bytes(outside_ + "\\precious.txt", "the user's file");
        source_ = dir_ + "\\source.bin";
        write_file_bytes(source_, "copied bytes");
    }
    void TearDown() override
    {
        remove_unix_tree(dir_);
        remove_unix_tree(outside_);
        app = saved_;
    }
    AppState saved_;
    std::string dir_, outside_, source_;
};

// Each writer writes "its" file at path; the result says whether it reports success.
struct Writer {
    const char *what;
    std::function<int(const std::string &path, const std::string &source)> write;
    bool reports;  // false: the writer always answers 1 (settings and log writes are best effort)
};

static const Writer WRITERS[] = {
    {"open_stream",
     [](const std::string &path, const std::string &) {
         FILE *file = open_stream(path.c_str(), "wb");
         if (!file)
             return 0;
         fputs("written", file);
         return fclose(file) == 0 ? 1 : 0;
     },
     true},
    {"copy_file_no_links",
     [](const std::string &path, const std::string &source) { return copy_file_no_links(source.c_str(), path.c_str()); },
     true},
    {"settings",
     [](const std::string &path, const std::string &) {
         text_copy(app.settings_path, path.c_str());
         text_copy(app.settings, "010000");
         return save_settings();
     },
     false},
    {"event log and its copy",
     [](const std::string &path, const std::string &) {
         text_copy(app.log_path, path.c_str());
         text_copy(app.events[0], "12:00:00 an event");
         return save_event_log();
     },
     false},
    {"clipboard file",
     [](const std::string &path, const std::string &) {
         put_text_on_clipboard("clipboard text");
         return clipboard_text_to_file(path.c_str());
     },
     true},
};

TEST_F(LinkSafeFiles, PlainFilesAreWrittenAndHiddenReadOnlyOnesYield)
{
    for (const Writer &writer : WRITERS) {
        std::string path = dir_ + "\\plain_" + std::to_string(&writer - WRITERS) + ".txt";
        EXPECT_EQ(writer.write(path, source_), 1) << writer.what;
        EXPECT_NE(read_file_bytes(path), "") << writer.what;
        write_file_bytes(path, std::string(5000, 'o'));
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        EXPECT_EQ(writer.write(path, source_), 1) << writer.what;
        std::string bytes = read_file_bytes(path);
        EXPECT_LT(bytes.size(), 5000u) << writer.what << ": the old bytes are cut off";
        EXPECT_EQ(GetFileAttributesA(path.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE) << writer.what;
    }
    EXPECT_EQ(read_file_bytes(dir_ + "\\plain_1.txt"), "copied bytes");
}

TEST_F(LinkSafeFiles, NoWriteFollowsALinkToAnotherFileOrFolder)
{
    struct Staging {
        const char *what;
        // Stages the link for the file at dir\name; returns the path the writer is given.
        std::function<std::string(const std::string &dir, const std::string &outside, const std::string &name)> stage;
    } stagings[] = {
        {"the file is a link to a file elsewhere",
         [](const std::string &dir, const std::string &outside, const std::string &name) {
             EXPECT_TRUE(make_unix_link(dir + "\\" + name, outside + "\\precious.txt"));
             return dir + "\\" + name;
         }},
        {"the file is a second name of a file elsewhere",
         [](const std::string &dir, const std::string &outside, const std::string &name) {
             EXPECT_TRUE(make_unix_link(dir + "\\" + name, outside + "\\precious.txt", true));
             return dir + "\\" + name;
         }},
        {"the file is a link to a missing file elsewhere",
         [](const std::string &dir, const std::string &outside, const std::string &name) {
             EXPECT_TRUE(make_unix_link(dir + "\\" + name, outside + "\\new_" + name));
             return dir + "\\" + name;
         }},
        {"the folder is a link to a folder elsewhere",
         [](const std::string &dir, const std::string &outside, const std::string &name) {
             EXPECT_TRUE(make_unix_link(dir + "\\linked", outside));
             return dir + "\\linked\\" + name;
         }},
        {"a folder above is a link to a folder elsewhere",
         [](const std::string &dir, const std::string &outside, const std::string &name) {
             CreateDirectoryA((outside + "\\deeper").c_str(), nullptr);
             EXPECT_TRUE(make_unix_link(dir + "\\above", outside));
             return dir + "\\above\\deeper\\" + name;
         }},
    };
    for (const Staging &staging : stagings) {
        for (const Writer &writer : WRITERS) {
            TearDown();
            SetUp();
            std::string name = "file_" + std::to_string(&writer - WRITERS) + ".txt";
            std::string path = staging.stage(dir_, outside_, name);
            const std::string before = folder_contents(outside_) + folder_contents(outside_ + "\\deeper");
            int result = writer.write(path, source_);
            if (writer.reports)
                EXPECT_EQ(result, 0) << writer.what << ": " << staging.what;
            EXPECT_EQ(folder_contents(outside_) + folder_contents(outside_ + "\\deeper"), before)
                << writer.what << ": " << staging.what;
        }
    }
}
