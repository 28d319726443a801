#include "log/settings_text.h"

#include <cstring>

#include "common/bounded_text.h"

int settings_from_line(const char *line, char *settings, size_t settings_size)
{
    if (settings_size == 0)
        return 0;
    // A line end is not an option character.
    size_t options = settings_size - 1;
    size_t before_line_end = strcspn(line, "\r\n");
    if (before_line_end >= options)
        return text_copy_prefix_n(settings, settings_size, line, options);
    // One option short before a line end (an editor added it, or an older file): the options
    // there are the user's own and stay; the last one is taken as off.
    if (options > 0 && before_line_end == options - 1 && line[before_line_end] != '\0') {
        text_copy_prefix_n(settings, settings_size, line, options - 1);
        settings[options - 1] = '0';
        settings[options] = '\0';
        return 1;
    }
    return 0;
}
