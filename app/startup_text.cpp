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
