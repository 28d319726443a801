#include "log/event_text.h"

#include <cstring>

#include "common/bounded_text.h"

// Appends the first count bytes of src; 0 when they did not all fit.
static int append_prefix(char *dst, size_t dst_size, const char *src, size_t count)
{
    size_t used = strnlen(dst, dst_size);
    if (used >= dst_size)
        return 0;
    return text_copy_prefix_n(dst + used, dst_size - used, src, count);
}

int split_event_line(const char *line, char *time_part, size_t time_size, char *text_part, size_t text_size)
{
    if (time_size == 0 || text_size == 0)
        return 0;
    time_part[0] = text_part[0] = '\0';
    if (line[0] == '\0' || !strstr(line, "   "))
        return 0;
    // The first three spaces of the line are separators wherever they stand; what
    // comes before the first one is the time, everything else is the text. Three
    // spaces in a row lie at or after the first one, so two more always follow it.
    const char *space = strchr(line, ' ');
    int fits = text_copy_prefix_n(time_part, time_size, line, (size_t)(space - line));
    const char *rest = space + 1;
    for (int dropped = 1; dropped < 3; dropped++) {
        space = strchr(rest, ' ');
        fits &= append_prefix(text_part, text_size, rest, (size_t)(space - rest));
        rest = space + 1;
    }
    return text_append_n(text_part, text_size, rest) && fits;
}
