// The clock, log-date and file-time texts: for the moments a system clock can
// report they read back as the fields they were made from; for any fields and
// any buffer size the text is terminated inside the buffer and a cut is reported.
#include <cstdio>

#include "common/calendar_text.h"
#include "fuzz_support.h"

typedef int (*Formatter)(const CalendarTime *, char *, size_t);

// Fields a SYSTEMTIME can carry: either a real date and time or any 16-bit values.
static CalendarTime take_time(FuzzedDataProvider &input)
{
    CalendarTime t;
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0:
        t.year = input.ConsumeIntegralInRange(1601, 30827);
        t.month = input.ConsumeIntegralInRange(1, 12);
        t.day = input.ConsumeIntegralInRange(1, 31);
        t.hour = input.ConsumeIntegralInRange(0, 23);
        t.minute = input.ConsumeIntegralInRange(0, 59);
        t.second = input.ConsumeIntegralInRange(0, 59);
        break;
    case 1:
        t.year = input.ConsumeIntegral<uint16_t>();
        t.month = input.ConsumeIntegral<uint16_t>();
        t.day = input.ConsumeIntegral<uint16_t>();
        t.hour = input.ConsumeIntegral<uint16_t>();
        t.minute = input.ConsumeIntegral<uint16_t>();
        t.second = input.ConsumeIntegral<uint16_t>();
        break;
    default:
        t.year = input.ConsumeIntegral<int>();
        t.month = input.ConsumeIntegral<int>();
        t.day = input.ConsumeIntegral<int>();
        t.hour = input.ConsumeIntegral<int>();
        t.minute = input.ConsumeIntegral<int>();
        t.second = input.ConsumeIntegral<int>();
        break;
    }
    return t;
}

static bool real_moment(const CalendarTime &t)
{
    return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

// The whole text with ample room, then the same into a buffer of exactly out_size.
static std::string check_bounds(Formatter format, const CalendarTime &t, size_t out_size, bool cut_leaves_empty)
{
    char full[256];
    FUZZ_CHECK(format(&t, full, sizeof full) == 1);
    FUZZ_CHECK(memchr(full, '\0', sizeof full) != nullptr);
    std::string text = full;
    ExactBuffer out(out_size);
    std::string before = out.contents();
    int fits = format(&t, out.data(), out_size);
    FUZZ_CHECK(fits == (text.size() < out_size));
    if (out_size == 0)
        FUZZ_CHECK(out.contents() == before);
    else if (!fits && cut_leaves_empty)
        FUZZ_CHECK(out.data()[0] == '\0');
    else
        FUZZ_CHECK(holds_bounded(out.data(), out_size, text));
    return text;
}

// Two decimal digits at text[at].
static bool two_digits(const std::string &text, size_t at, int value)
{
    return at + 2 <= text.size() && text[at] == '0' + value / 10 && text[at + 1] == '0' + value % 10;
}

static void check_clock(const CalendarTime &t, const std::string &text)
{
    FUZZ_CHECK(text.size() == 8 && text[2] == ':' && text[5] == ':');
    FUZZ_CHECK(two_digits(text, 0, t.hour) && two_digits(text, 3, t.minute) && two_digits(text, 6, t.second));
}

static void check_log_date(const CalendarTime &t, const std::string &text)
{
    const char *month = genitive_month_name(t.month);
    char wanted_start[64];
    snprintf(wanted_start, sizeof wanted_start, "%d %s %d года. ", t.day, month, t.year);
    FUZZ_CHECK(text.rfind(wanted_start, 0) == 0);
    FUZZ_CHECK(text.size() == strlen(wanted_start) + 5 && text[text.size() - 3] == ':');
    FUZZ_CHECK(two_digits(text, text.size() - 5, t.hour) && two_digits(text, text.size() - 2, t.minute));
}

static void check_file_time(const CalendarTime &t, const std::string &text)
{
    int hour, minute, second, day, month, year, read = 0;
    FUZZ_CHECK(sscanf(text.c_str(), "%2d:%2d:%2d,  %2d.%2d.%d%n", &hour, &minute, &second, &day, &month, &year,
                      &read) == 6);
    FUZZ_CHECK((size_t)read == text.size());
    FUZZ_CHECK(hour == t.hour && minute == t.minute && second == t.second);
    FUZZ_CHECK(day == t.day && month == t.month && year == t.year);
    FUZZ_CHECK(two_digits(text, 0, t.hour) && two_digits(text, 11, t.day) && two_digits(text, 14, t.month));
}

// The twelve names: present, distinct, and none for other numbers.
static void check_month_names(int other)
{
    for (int month = 1; month <= 12; month++) {
        FUZZ_CHECK(genitive_month_name(month)[0] != '\0');
        for (int earlier = 1; earlier < month; earlier++)
            FUZZ_CHECK(strcmp(genitive_month_name(month), genitive_month_name(earlier)) != 0);
    }
    if (other < 1 || other > 12)
        FUZZ_CHECK(genitive_month_name(other)[0] == '\0');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    size_t out_size = input.ConsumeIntegralInRange<size_t>(0, 80);
    CalendarTime t = take_time(input);
    std::string clock = check_bounds(format_clock_text, t, out_size, false);
    std::string date = check_bounds(format_log_date_text, t, out_size, false);
    std::string file_time = check_bounds(format_file_time_text, t, out_size, true);
    check_month_names(t.month);
    if (real_moment(t)) {
        check_clock(t, clock);
        check_log_date(t, date);
        check_file_time(t, file_time);
    }
    return 0;
}
