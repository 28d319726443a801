// The event log: slots in memory, EventList on a real list view, and the log file's bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/seams.h"
#include "list_view_helpers.h"
#include "log/event_log.h"
#include "test_support.h"

static SYSTEMTIME g_now;

static void WINAPI fake_local_time(LPSYSTEMTIME out)
{
    *out = g_now;
}

static void set_clock(int year, int month, int day, int hour, int minute, int second)
{
    g_now = {};
    g_now.wYear = (WORD)year;
    g_now.wMonth = (WORD)month;
    g_now.wDay = (WORD)day;
    g_now.wHour = (WORD)hour;
    g_now.wMinute = (WORD)minute;
    g_now.wSecond = (WORD)second;
}

static void clear_events()
{
    for (auto &slot : app.events)
        slot[0] = '\0';
}

static int filled_slots()
{
    int count = 0;
    for (auto &slot : app.events)
        count += slot[0] != '\0';
    return count;
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam_get_local_time = fake_local_time;
        set_clock(2026, 12, 7, 9, 5, 7);
        clear_events();
        dir_ = make_scratch_dir("eventlog");
        log_ = dir_ + "\\KX_Log.txt";
        copy_ = log_ + ".tmp";
        text_copy(app.log_path, log_.c_str());
    }
    void TearDown() override
    {
        reset_seams();
        clear_events();
        remove_tree(dir_);
    }
    std::string dir_, log_, copy_;
};

// ---- log_event ----

TEST_F(EventLogTest, FirstEventLandsInSlotZeroWithoutShift)
{
    EXPECT_EQ(log_event("Запуск программы Kestrix."), 0);
    EXPECT_STREQ(app.events[0], "09:05:07   Запуск программы Kestrix.");
    EXPECT_EQ(filled_slots(), 1);
}

TEST_F(EventLogTest, ClockIsTwoDigitsEachPart)
{
    struct Case {
        int hour, minute, second;
        const char *time;
    } cases[] = {{0, 0, 0, "00:00:00"}, {9, 5, 7, "09:05:07"}, {10, 10, 10, "10:10:10"}, {23, 59, 59, "23:59:59"}};
    for (const Case &c : cases) {
        set_clock(2026, 1, 1, c.hour, c.minute, c.second);
        char clock[16];
        format_clock_time(clock, sizeof clock);
        EXPECT_STREQ(clock, c.time);
    }
}

TEST_F(EventLogTest, ImmediateRepeatKeepsFirstOccurrenceAndItsTime)
{
    log_event("Остановлено процессов: 2.");
    set_clock(2026, 12, 7, 9, 5, 8);
    EXPECT_EQ(log_event("Остановлено процессов: 2."), 0);
    set_clock(2026, 12, 7, 10, 0, 0);
    EXPECT_EQ(log_event("Остановлено процессов: 2."), 0);
    EXPECT_EQ(filled_slots(), 1);
    EXPECT_STREQ(app.events[0], "09:05:07   Остановлено процессов: 2.");

    // Same length, different text from the twelfth character: a new event.
    EXPECT_EQ(log_event("Остановлено процессов: 3."), 1);
    EXPECT_STREQ(app.events[0], "10:00:00   Остановлено процессов: 3.");
    // Only the newest slot is compared: an older repeat is stored again.
    EXPECT_EQ(log_event("Остановлено процессов: 2."), 1);
    EXPECT_EQ(filled_slots(), 3);
}

TEST_F(EventLogTest, AlternatingMessagesAreAllKept)
{
    const char *texts[] = {"A", "B", "A", "B"};
    int results[4];
    for (int i = 0; i < 4; i++)
        results[i] = log_event(texts[i]);
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 1);
    EXPECT_EQ(results[2], 1);
    EXPECT_EQ(results[3], 1);
    EXPECT_EQ(filled_slots(), 4);
    EXPECT_STREQ(app.events[0], "09:05:07   B");
    EXPECT_STREQ(app.events[3], "09:05:07   A");
}

TEST_F(EventLogTest, TwentyTwoEventsKeepTheNewestTwentyOne)
{
    for (int i = 1; i <= 22; i++) {
        char text[32];
        text_format(text, "событие %d", i);
        log_event(text);
    }
    EXPECT_EQ(filled_slots(), 21);
    EXPECT_STREQ(app.events[0], "09:05:07   событие 22");
    EXPECT_STREQ(app.events[20], "09:05:07   событие 2");
}

TEST_F(EventLogTest, TextAtTheLimitFitsAndLongerTextIsCutInsideItsSlot)
{
    std::string limit(EVENT_TEXT_LIMIT, 'x');
    log_event("before");
    EXPECT_EQ(log_event(limit.c_str()), 1);
    EXPECT_EQ(strlen(app.events[0]), 511u);
    EXPECT_EQ(std::string(app.events[0] + 11), limit);
    EXPECT_STREQ(app.events[1], "09:05:07   before");

    // A caller over the limit never runs into the next slot.
    std::string over(2000, 'y');
    EXPECT_EQ(log_event(over.c_str()), 1);
    EXPECT_EQ(strlen(app.events[0]), 511u);
    EXPECT_EQ(std::string(app.events[1] + 11), limit);
    EXPECT_STREQ(app.events[2], "09:05:07   before");
}

// ---- the line split ----

TEST(EventLineSplit, DropsTheFirstThreeSpacesOnly)
{
    struct Case {
        const char *line;
        int result;
        const char *time, *text;
    } cases[] = {
        {"09:05:07   Запуск программы.", 1, "09:05:07", "Запуск программы."},
        {"09:05:07      с пробелами  ", 1, "09:05:07", "   с пробелами  "},
        {"09:05:07   ", 1, "09:05:07", ""},
        {"   только текст", 1, "", "только текст"},
        // The three dropped spaces need not be the separator ones.
        {"a b   c", 1, "a", "b c"},
        {"", 0, "", ""},
        {"09:05:07  two spaces", 0, "", ""},
        {"no spaces at all", 0, "", ""},
    };
    for (const Case &c : cases) {
        char time_part[TEXT_SIZE] = "junk", text_part[TEXT_SIZE] = "junk";
        EXPECT_EQ(split_event_line(c.line, time_part, sizeof time_part, text_part, sizeof text_part), c.result)
            << c.line;
        EXPECT_STREQ(time_part, c.time) << c.line;
        EXPECT_STREQ(text_part, c.text) << c.line;
    }
}

TEST(EventLineSplit, SmallBuffersAreNeverOverrun)
{
    char time_part[4], text_part[6];
    char canary_after[8] = "canary";
    EXPECT_EQ(split_event_line("09:05:07   a long event text", time_part, sizeof time_part, text_part,
                               sizeof text_part),
              0);
    EXPECT_STREQ(time_part, "09:");
    EXPECT_STREQ(text_part, "a lon");
    EXPECT_STREQ(canary_after, "canary");
}

// ---- EventList ----

class EventListTest : public EventLogTest {
protected:
    void SetUp() override
    {
        EventLogTest::SetUp();
        static const char *const columns[] = {"Время", "Описание события (лог)"};
        static const int widths[] = {70, 430};
        list_ = make_report_list(columns, widths, 2);
        ASSERT_NE(list_, nullptr) << "no DISPLAY?";
    }
    void TearDown() override
    {
        destroy_report_list(list_);
        EventLogTest::TearDown();
    }
    HWND list_ = nullptr;
};

TEST_F(EventListTest, RowsNewestFirstWithTimeAndTextColumns)
{
    log_event("Запуск программы Kestrix.");
    set_clock(2026, 12, 7, 14, 30, 0);
    log_event("   отступ сохранен");
    set_clock(2026, 12, 7, 14, 30, 1);
    log_event("Найдено ауторанов: 1. Удалено: 1  Создана папка защиты.");

    // The record passed in is scratch: its garbage must not matter.
    LVITEMA garbage;
    memset(&garbage, 0x5A, sizeof garbage);
    EXPECT_EQ(refresh_event_list(list_, garbage), 1);

    ASSERT_EQ(list_rows(list_), 3);
    EXPECT_EQ(list_cell(list_, 0, 0), "14:30:01");
    EXPECT_EQ(list_cell(list_, 0, 1), "Найдено ауторанов: 1. Удалено: 1  Создана папка защиты.");
    EXPECT_EQ(list_cell(list_, 1, 0), "14:30:00");
    EXPECT_EQ(list_cell(list_, 1, 1), "   отступ сохранен");
    EXPECT_EQ(list_cell(list_, 2, 0), "09:05:07");
    EXPECT_EQ(list_cell(list_, 2, 1), "Запуск программы Kestrix.");
}

TEST_F(EventListTest, RefreshRebuildsAndSkipsLinesThatDoNotSplit)
{
    for (int i = 1; i <= 25; i++) {
        char text[32];
        text_format(text, "событие %d", i);
        log_event(text);
    }
    LVITEMA item = {};
    refresh_event_list(list_, item);
    refresh_event_list(list_, item);
    ASSERT_EQ(list_rows(list_), 21);
    EXPECT_EQ(list_cell(list_, 0, 1), "событие 25");
    EXPECT_EQ(list_cell(list_, 20, 1), "событие 5");

    // A slot without three consecutive spaces gives no row.
    text_copy(app.events[3], "broken line");
    refresh_event_list(list_, item);
    EXPECT_EQ(list_rows(list_), 20);

    clear_events();
    refresh_event_list(list_, item);
    EXPECT_EQ(list_rows(list_), 0);
}

TEST_F(EventListTest, TextAtTheLimitShowsWhole)
{
    std::string limit(EVENT_TEXT_LIMIT - 1, 'z');
    limit = " " + limit;  // starts with a space that must survive
    log_event(limit.c_str());
    LVITEMA item = {};
    refresh_event_list(list_, item);
    ASSERT_EQ(list_rows(list_), 1);
    EXPECT_EQ(list_cell(list_, 0, 1), limit);
}

// ---- the date text ----

TEST(LogDate, GenitiveMonthsAndTwoDigitClock)
{
    const char *months[] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                            "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
    seam_get_local_time = fake_local_time;
    for (int month = 1; month <= 12; month++) {
        set_clock(2026, month, 1, 0, 0, 0);
        char date[128];
        format_log_date(date, sizeof date);
        EXPECT_EQ(std::string(date), std::string("1 ") + months[month - 1] + " 2026 года. 00:00");
    }
    struct Case {
        int day, hour, minute;
        const char *date;
    } cases[] = {{7, 9, 5, "7 декабря 2026 года. 09:05"}, {31, 23, 59, "31 декабря 2026 года. 23:59"},
                 {10, 10, 0, "10 декабря 2026 года. 10:00"}};
    for (const Case &c : cases) {
        set_clock(2026, 12, c.day, c.hour, c.minute, 42);
        char date[128];
        format_log_date(date, sizeof date);
        EXPECT_STREQ(date, c.date);
    }
    reset_seams();
}

// ---- the log file ----

static const std::string END_MARKER = "--Конец.--\r\n\r\n\r\n\r\n";

static std::string block(const char *date, const std::string &lines)
{
    return std::string("------") + date + "-------\r\n\r\n" + lines + END_MARKER;
}

TEST_F(EventLogTest, SaveWithNoEventsWritesHeaderAndEndMarkerThenCopy)
{
    EXPECT_EQ(save_event_log(), 1);
    std::string expected = "------7 декабря 2026 года. 09:05-------\r\n\r\n--Конец.--\r\n\r\n\r\n\r\n";
    EXPECT_EQ(read_file_bytes(log_), expected);
    EXPECT_EQ(read_file_bytes(copy_), expected);
}

TEST_F(EventLogTest, NewestRunOnTopEachRunNewestEventFirst)
{
    log_event("первый запуск: начало");
    set_clock(2026, 12, 7, 9, 6, 0);
    log_event("первый запуск: конец");
    save_event_log();

    // The second run: its own slots, saved twice (hidden files, then exit), a day later.
    clear_events();
    set_clock(2026, 12, 8, 18, 0, 3);
    log_event("второй запуск");
    save_event_log();
    set_clock(2026, 12, 8, 18, 1, 4);
    log_event("второй запуск: выход");
    save_event_log();

    std::string first = block("7 декабря 2026 года. 09:06",
                              "09:06:00   первый запуск: конец\r\n09:05:07   первый запуск: начало\r\n");
    std::string second = block("8 декабря 2026 года. 18:00", "18:00:03   второй запуск\r\n");
    std::string third = block("8 декабря 2026 года. 18:01",
                              "18:01:04   второй запуск: выход\r\n18:00:03   второй запуск\r\n");
    EXPECT_EQ(read_file_bytes(log_), third + second + first);
    EXPECT_EQ(read_file_bytes(copy_), third + second + first);
}

// Earlier content made of CR LF lines, exactly size bytes long.
static std::string history_of(size_t size)
{
    std::string text;
    while (text.size() + 20 <= size)
        text += "09:00:00   история\r\n";
    text += std::string(size - text.size(), '-');
    return text;
}

TEST_F(EventLogTest, EarlierContentCarriedAtSixThousandBytesDroppedAtOneMore)
{
    log_event("событие");
    std::string current = block("7 декабря 2026 года. 09:05", "09:05:07   событие\r\n");
    struct Case {
        size_t size;
        bool carried;
    } cases[] = {{0, true}, {5999, true}, {6000, true}, {6001, false}, {20000, false}};
    for (const Case &c : cases) {
        std::string history = history_of(c.size);
        ASSERT_EQ(history.size(), c.size);
        write_file_bytes(copy_, history);
        EXPECT_EQ(save_event_log(), 1);
        std::string expected = c.carried ? current + history : current;
        EXPECT_EQ(read_file_bytes(log_), expected) << c.size;
        EXPECT_EQ(read_file_bytes(copy_), expected) << c.size;
    }
}

TEST_F(EventLogTest, WithoutCopyFileTheBlockGoesAloneAndCopyIsCreated)
{
    write_file_bytes(log_, "old log that is not the copy\r\n");
    log_event("событие");
    save_event_log();
    std::string current = block("7 декабря 2026 года. 09:05", "09:05:07   событие\r\n");
    EXPECT_EQ(read_file_bytes(log_), current);
    EXPECT_EQ(read_file_bytes(copy_), current);
}

TEST_F(EventLogTest, LogAndCopyThatAreReadOnlyHiddenYield)
{
    write_file_bytes(log_, "old");
    write_file_bytes(copy_, "earlier\r\n");
    SetFileAttributesA(log_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    save_event_log();
    std::string expected = block("7 декабря 2026 года. 09:05", "") + "earlier\r\n";
    EXPECT_EQ(read_file_bytes(log_), expected);
    EXPECT_EQ(read_file_bytes(copy_), expected);
}

TEST_F(EventLogTest, BadCopyFilesNeverCrashAndCarryBytesUnchanged)
{
    std::string current = block("7 декабря 2026 года. 09:05", "09:05:07   событие\r\n");
    log_event("событие");

    // Every byte value, NUL and Ctrl-Z and lone CR and LF among them, comes through as it was.
    std::string binary;
    for (int i = 0; i < 4096; i++)
        binary.push_back((char)((i * 73 + 11) & 0xFF));
    binary += std::string("\0\x1A\n\r x\r", 7);
    write_file_bytes(copy_, binary);
    save_event_log();
    EXPECT_EQ(read_file_bytes(log_), current + binary);

    // One line far longer than any line buffer, still under the limit.
    std::string long_line(5990, 'L');
    write_file_bytes(copy_, long_line);
    save_event_log();
    EXPECT_EQ(read_file_bytes(log_), current + long_line);

    // A 100 KB line is over the limit: dropped, not read.
    write_file_bytes(copy_, std::string(100 * 1024, 'H'));
    save_event_log();
    EXPECT_EQ(read_file_bytes(log_), current);
    EXPECT_EQ(read_file_bytes(copy_), current);
}

TEST_F(EventLogTest, CopyFileThatIsADirectoryOrHeldOpenGivesTheBlockAlone)
{
    std::string current = block("7 декабря 2026 года. 09:05", "");
    CreateDirectoryA(copy_.c_str(), nullptr);
    EXPECT_EQ(save_event_log(), 1);
    EXPECT_EQ(read_file_bytes(log_), current);
    EXPECT_TRUE(GetFileAttributesA(copy_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(copy_.c_str());

    // Another program holds the copy file with no sharing: it cannot be read or replaced.
    write_file_bytes(copy_, "earlier\r\n");
    HANDLE held = CreateFileA(copy_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(save_event_log(), 1);
    CloseHandle(held);
    EXPECT_EQ(read_file_bytes(log_), current);
    EXPECT_EQ(read_file_bytes(copy_), "earlier\r\n");
}

TEST_F(EventLogTest, LogThatCannotBeWrittenLeavesTheCopyAlone)
{
    write_file_bytes(copy_, "earlier\r\n");
    CreateDirectoryA(log_.c_str(), nullptr);
    EXPECT_EQ(save_event_log(), 1);
    EXPECT_TRUE(GetFileAttributesA(log_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(read_file_bytes(copy_), "earlier\r\n");

    // A data folder that is gone: nothing is created.
    std::string missing = dir_ + "\\gone\\KX_Log.txt";
    text_copy(app.log_path, missing.c_str());
    EXPECT_EQ(save_event_log(), 1);
    EXPECT_EQ(GetFileAttributesA((dir_ + "\\gone").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(EventLogTest, EventsAtTheLimitAreWrittenWhole)
{
    std::string limit(EVENT_TEXT_LIMIT, 'w');
    for (int i = 0; i < 21; i++) {
        limit[0] = (char)('a' + i);
        log_event(limit.c_str());
    }
    save_event_log();
    std::string bytes = read_file_bytes(log_);
    std::string header = "------7 декабря 2026 года. 09:05-------\r\n\r\n";
    EXPECT_EQ(bytes.size(), header.size() + 21 * (511 + 2) + END_MARKER.size());
    EXPECT_EQ(bytes.substr(header.size(), 12), "09:05:07   u");
}
