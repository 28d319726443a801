#include "common/calendar_text.h"

#include "common/bounded_text.h"

static const char *const MONTH_NAMES[12] = {
    "января", "февраля", "марта",    "апреля",  "мая",    "июня",
    "июля",   "августа", "сентября", "октября", "ноября", "декабря",
};

const char *genitive_month_name(int month)
{
    return (month >= 1 && month <= 12) ? MONTH_NAMES[month - 1] : "";
}

int format_clock_text(const CalendarTime *time, char *out, size_t out_size)
{
    return text_format_n(out, out_size, "%02d:%02d:%02d", time->hour, time->minute, time->second);
}

int format_log_date_text(const CalendarTime *time, char *out, size_t out_size)
{
    return text_format_n(out, out_size, "%d %s %d года. %02d:%02d", time->day, genitive_month_name(time->month),
                         time->year, time->hour, time->minute);
}

// "0" before a field of one digit, so that times read 07:05:09.
static const char *pad(int value)
{
    return value <= 9 ? "0" : "";
}

int format_file_time_text(const CalendarTime *time, char *out, size_t out_size)
{
    if (!text_format_n(out, out_size, "%s%d:%s%d:%s%d,  %s%d.%s%d.%d", pad(time->hour), time->hour,
                       pad(time->minute), time->minute, pad(time->second), time->second, pad(time->day), time->day,
                       pad(time->month), time->month, time->year)) {
        text_copy_n(out, out_size, "");
        return 0;
    }
    return 1;
}
