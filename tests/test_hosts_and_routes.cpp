// The hosts file and the persistent routes of the Wine prefix: the real file,
// its attributes and Wine's registry; only the result box goes through its seam.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "common/seams.h"
#include "repair/hosts_and_routes.h"
#include "test_support.h"

static const char CLEAN[] = "Файл \"hosts\" чист.      \n";
static const char CLEANED[] = "Файл \"hosts\" очищен.     \n";
static const char NO_ROUTES[] = "\nЛишние IP-адреса в реестре не найдены...    \n";
static const char ROUTES_TAIL[] = "\nНайдено значений в реестре: %d.   \nУдалено: %d.\nНе удалось удалить: %d.     \n";

static std::vector<std::string> boxes;

static int WINAPI record_box(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    boxes.push_back(std::string(caption) + "|" + text);
    return IDOK;
}

static std::string routes_box(const char *hosts_line, int found, int deleted, int failed)
{
    char tail[256];
    snprintf(tail, sizeof tail, ROUTES_TAIL, found, deleted, failed);
    return std::string("Результат|") + hosts_line + tail;
}

static std::string route_key(int order)
{
    std::string set = order == 0 ? "CurrentControlSet" : "ControlSet00" + std::to_string(order);
    if (order >= 10)
        set = "ControlSet0" + std::to_string(order);
    return "SYSTEM\\" + set + "\\Services\\Tcpip\\Parameters\\PersistentRoutes";
}

static std::string control_set(int order)
{
    return "SYSTEM\\ControlSet0" + std::string(order < 10 ? "0" : "") + std::to_string(order);
}

// The default text as it lies on disk.
static std::string default_bytes()
{
    std::string bytes;
    for (const char *p = DEFAULT_HOSTS_TEXT; *p; p++)
        bytes += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    return bytes;
}

class HostsAndRoutes : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetSystemDirectoryA(app.system_dir, sizeof app.system_dir);
        hosts_ = std::string(app.system_dir) + "\\drivers\\etc\\hosts";
        original_attributes_ = GetFileAttributesA(hosts_.c_str());
        original_ = read_file_bytes(hosts_);
        for (int order = 1; order <= 10; order++)
            set_existed_[order] = key_exists(control_set(order));
        current_existed_ = key_exists(route_key(0));
        for (int order = 0; order <= 10; order++)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, route_key(order).c_str());
        boxes.clear();
        seam_message_box = record_box;
    }
    void TearDown() override
    {
        reset_seams();
        RemoveDirectoryA(fresh().c_str());
        DeleteFileA(fresh().c_str());
        DeleteFileA(backup().c_str());
        for (int order = 0; order <= 10; order++)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, route_key(order).c_str());
        for (int order = 1; order <= 10; order++)
            if (!set_existed_[order])
                RegDeleteTreeA(HKEY_LOCAL_MACHINE, control_set(order).c_str());
        if (current_existed_)
            add_routes(0, {});
        if (original_attributes_ == INVALID_FILE_ATTRIBUTES) {
            SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(hosts_.c_str());
        } else {
            write_file_bytes(hosts_, original_);
            SetFileAttributesA(hosts_.c_str(), original_attributes_);
        }
    }
    static bool key_exists(const std::string &path)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static void add_routes(int order, const std::vector<std::string> &names)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, route_key(order).c_str(), &key), ERROR_SUCCESS);
        for (const std::string &name : names)
            RegSetValueExA(key, name.c_str(), 0, REG_SZ, (const BYTE *)"", 1);
        RegCloseKey(key);
    }
    // Value names left in a route key; "missing" when the key is gone.
    static std::vector<std::string> routes_left(int order)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, route_key(order).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {"missing"};
        std::vector<std::string> names;
        char name[1024];
        DWORD size = sizeof name;
        for (DWORD i = 0; RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             i++, size = sizeof name)
            names.push_back(name);
        RegCloseKey(key);
        return names;
    }
    std::string fresh() const { return hosts_ + ".kestrix.new"; }
    std::string backup() const { return hosts_ + ".kestrix.bak"; }
    std::string hosts_;
    std::string original_;
    DWORD original_attributes_ = INVALID_FILE_ATTRIBUTES;
    bool set_existed_[11] = {};
    bool current_existed_ = false;
};

TEST(DefaultHostsText, IsCommentsThenLocalhost)
{
    std::string text = DEFAULT_HOSTS_TEXT;
    const std::string tail = "\n\n127.0.0.1       localhost\n";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::string comments = text.substr(0, text.size() - tail.size() + 1);
    size_t lines = 0;
    for (size_t start = 0; start < comments.size(); start = comments.find('\n', start) + 1, lines++)
        EXPECT_EQ(comments[start], '#') << "line " << lines + 1;
    EXPECT_GE(lines, 10u);
}

TEST_F(HostsAndRoutes, ReadOnlyHiddenRedirectingHostsIsOverwrittenAndRoutesDeleted)
{
    write_file_bytes(hosts_, "127.0.0.1       localhost\r\n203.0.113.66    online.bank.example\r\n");
    SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    add_routes(1, {"0.0.0.0,0.0.0.0,203.0.113.1,1", "198.51.100.0,255.255.255.0,203.0.113.1,1",
                   "192.0.2.0,255.255.255.0,203.0.113.1,1"});

    EXPECT_EQ(reset_hosts_and_routes(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], routes_box(CLEANED, 3, 3, 0));
    std::string bytes = read_file_bytes(hosts_);
    EXPECT_EQ(bytes, default_bytes());
    EXPECT_EQ(bytes.size(), strlen(DEFAULT_HOSTS_TEXT) + 18);  // 18 line ends of two bytes
    EXPECT_EQ(GetFileAttributesA(hosts_.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(routes_left(1).empty());

    // Now the file is the default one and there is nothing left to delete.
    EXPECT_EQ(reset_hosts_and_routes(), 1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], std::string("Результат|") + CLEAN + NO_ROUTES);
    EXPECT_EQ(read_file_bytes(hosts_), default_bytes());
}

// The hosts line tells whether the file was clean before it was rewritten.
TEST_F(HostsAndRoutes, HostsLineJudgesTheOldFile)
{
    std::string lf_only = DEFAULT_HOSTS_TEXT;
    std::string ad_list;
    for (int i = 0; i < 40000; i++)
        ad_list += "0.0.0.0 ads" + std::to_string(i) + ".example\r\n";
    struct Case {
        const char *name;
        bool exists;
        std::string old_bytes;
        const char *line;
    } cases[] = {
        {"default", true, default_bytes(), CLEAN},
        {"missing", false, "", CLEANED},
        {"empty", true, "", CLEANED},
        {"line feeds only", true, lf_only, CLEANED},
        {"one more line", true, default_bytes() + "0.0.0.0 x.example\r\n", CLEANED},
        {"last line end missing", true, default_bytes().substr(0, default_bytes().size() - 2), CLEANED},
        {"same size, one byte changed", true, "X" + default_bytes().substr(1), CLEANED},
        {"large list", true, ad_list, CLEANED},
    };
    for (const Case &c : cases) {
        boxes.clear();
        SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(hosts_.c_str());
        if (c.exists)
            write_file_bytes(hosts_, c.old_bytes);
        EXPECT_EQ(reset_hosts_and_routes(), 1) << c.name;
        ASSERT_EQ(boxes.size(), 1u) << c.name;
        EXPECT_EQ(boxes[0], std::string("Результат|") + c.line + NO_ROUTES) << c.name;
        EXPECT_EQ(read_file_bytes(hosts_), default_bytes()) << c.name;
    }
}

TEST_F(HostsAndRoutes, EveryRouteKeyIsVisitedAndFailuresCounted)
{
    std::string long_name(600, 'r');  // longer than the 512-byte name buffer: cannot be read, so it stays
    add_routes(0, {"10.0.0.0,255.0.0.0,203.0.113.1,1", long_name, "10.1.0.0,255.255.0.0,203.0.113.1,1"});
    add_routes(2, {"10.2.0.0,255.255.0.0,203.0.113.1,1"});
    add_routes(9, {"10.9.0.0,255.255.0.0,203.0.113.1,1"});
    add_routes(10, {"10.10.0.0,255.255.0.0,203.0.113.1,1"});  // not one of the ten keys

    EXPECT_EQ(reset_hosts_and_routes(), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], routes_box(CLEANED, 5, 4, 1));
    EXPECT_EQ(routes_left(0), std::vector<std::string>{long_name});
    EXPECT_TRUE(routes_left(2).empty());
    EXPECT_TRUE(routes_left(9).empty());
    EXPECT_EQ(routes_left(10).size(), 1u);
}

TEST_F(HostsAndRoutes, HostsThatCannotBeWrittenLeavesRoutesAlone)
{
    const std::string old_bytes = "203.0.113.66    online.bank.example\r\n";
    write_file_bytes(hosts_, old_bytes);
    add_routes(1, {"0.0.0.0,0.0.0.0,203.0.113.1,1"});
    HANDLE held = CreateFileA(hosts_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_EQ(reset_hosts_and_routes(), 0);
    CloseHandle(held);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(read_file_bytes(hosts_), old_bytes);
    EXPECT_EQ(routes_left(1).size(), 1u);
    EXPECT_EQ(GetFileAttributesA(fresh().c_str()), INVALID_FILE_ATTRIBUTES) << "the new file is cleared away";

    app.system_dir[0] = '\0';  // no system folder known: no relative "\drivers\etc\hosts" either
    EXPECT_EQ(reset_hosts_and_routes(), 0);
    EXPECT_EQ(routes_left(1).size(), 1u);
}

// The new text goes into a file beside the old one and takes its place in one step; the old
// file is kept beside it as the backup, a backup of an earlier reset replaced.
TEST_F(HostsAndRoutes, HostsIsReplacedWholeAndTheOldOneKeptBeside)
{
    const std::string old_bytes = "127.0.0.1       localhost\r\n203.0.113.66    online.bank.example\r\n";
    write_file_bytes(hosts_, old_bytes);
    write_file_bytes(backup(), "an earlier backup");
    EXPECT_EQ(reset_hosts_and_routes(), 1);
    EXPECT_EQ(read_file_bytes(hosts_), default_bytes());
    EXPECT_EQ(read_file_bytes(backup()), old_bytes);
    EXPECT_EQ(GetFileAttributesA(fresh().c_str()), INVALID_FILE_ATTRIBUTES);

    // No hosts file at all: the new one simply takes the name.
    SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(hosts_.c_str());
    EXPECT_EQ(reset_hosts_and_routes(), 1);
    EXPECT_EQ(read_file_bytes(hosts_), default_bytes());
    EXPECT_EQ(GetFileAttributesA(fresh().c_str()), INVALID_FILE_ATTRIBUTES);
}

// When the new file cannot be written whole, the old hosts file stays byte for byte with its
// attributes, nothing else is done and no box is shown.
TEST_F(HostsAndRoutes, NewHostsThatCannotBeWrittenLeavesTheOldOne)
{
    const std::string old_bytes = "203.0.113.66    online.bank.example\r\n";
    const DWORD old_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    struct Case {
        const char *name;
        bool directory;  // a folder holds the new file's name; else a file held open without sharing
    } cases[] = {{"folder in the way", true}, {"file held open", false}};
    for (const Case &c : cases) {
        boxes.clear();
        SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_NORMAL);
        write_file_bytes(hosts_, old_bytes);
        SetFileAttributesA(hosts_.c_str(), old_attributes);
        add_routes(1, {"0.0.0.0,0.0.0.0,203.0.113.1,1"});
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.directory)
            ASSERT_TRUE(CreateDirectoryA(fresh().c_str(), nullptr)) << c.name;
        else
            held = CreateFileA(fresh().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_TRUE(c.directory || held != INVALID_HANDLE_VALUE) << c.name;

        EXPECT_EQ(reset_hosts_and_routes(), 0) << c.name;
        EXPECT_EQ(read_file_bytes(hosts_), old_bytes) << c.name;
        EXPECT_EQ(GetFileAttributesA(hosts_.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE, old_attributes) << c.name;
        EXPECT_EQ(GetFileAttributesA(backup().c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
        EXPECT_EQ(routes_left(1).size(), 1u) << c.name;
        EXPECT_TRUE(boxes.empty()) << c.name;

        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        RemoveDirectoryA(fresh().c_str());
        DeleteFileA(fresh().c_str());
    }
}
