#include "log/settings_text.h"

#include <cstring>

#include "common/bounded_text.h"

int settings_from_line(const char *line, char *settings, size_t settings_size)
{
    if (settings_size == 0)
        return 0;
    // A line end is not an option character: five and a line end is too short.
    size_t options = settings_size - 1;
    if (strcspn(line, "\r\n") < options)
        return 0;
    return text_copy_prefix_n(settings, settings_size, line, options);
}
