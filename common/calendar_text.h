// Texts of a moment in local time: the clock of event lines, the log header's
// date and the time a file was last written. No system call: the caller reads the clock.
#pragma once
#include <cstddef>

// Calendar fields of a moment, as the system reports them (month 1 to 12).
struct CalendarTime {
    int year, month, day;
    int hour, minute, second;
};

// Russian genitive name of a month 1 to 12 ("декабря"); "" for any other number.
const char *genitive_month_name(int month);

// "09:05:07". 1 when it fit; a cut text stays in out and gives 0.
int format_clock_text(const CalendarTime *time, char *out, size_t out_size);

// "7 декабря 2026 года. 09:05". 1 when it fit; a cut text stays in out and gives 0.
int format_log_date_text(const CalendarTime *time, char *out, size_t out_size);

// "07:05:09,  03.11.2012". 1 when it fit; "" and 0 when it did not.
int format_file_time_text(const CalendarTime *time, char *out, size_t out_size);
