#include "app/startup_text.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/text_sizes.h"

int user_folder_name(const char *user_name, char *out, size_t out_size)
{
    // The bytes of user_name followed by "TV", summed as signed 8-bit values.
    int sum = 'T' + 'V';
    for (const char *p = user_name; *p; p++)
        sum += (signed char)*p;
    if (sum < 0)
        sum = -sum;
    int length = (int)strlen(user_name) + 2;
    char digits[64];
    text_format(digits, "%d%d123456", sum, length);
    return text_copy_prefix_n(out, out_size, digits, 6);
}

int exe_path_from_command_line(const char *command_line, char *out, size_t out_size)
{
    char unquoted[COMMAND_LINE_SIZE];
    size_t n = 0;
    for (const char *p = command_line; *p && n + 1 < sizeof unquoted; p++)
        if (*p != '"' && *p != '\'')
            unquoted[n++] = *p;
    unquoted[n] = '\0';

    // Windows names are case-insensitive: KESTRIX.EXE is the program file too.
    const char *extension = text_find_ascii_nocase(unquoted, ".exe");
    if (!extension)
        return 0;
    size_t path_length = (size_t)(extension - unquoted) + 4;
    if (path_length >= out_size)
        return 0;
    text_copy_prefix_n(out, out_size, unquoted, path_length);
    return 1;
}
