#include "common/bounded_text.h"

#include <cstdio>
#include <cstring>

int text_copy_prefix_n(char *dst, size_t dst_size, const char *src, size_t count)
{
    if (dst_size == 0)
        return 0;
    size_t len = 0;
    while (len < count && src[len] != '\0')
        len++;
    int fits = len < dst_size;
    if (!fits)
        len = dst_size - 1;
    memcpy(dst, src, len);
    dst[len] = '\0';
    return fits;
}

int text_copy_n(char *dst, size_t dst_size, const char *src)
{
    return text_copy_prefix_n(dst, dst_size, src, (size_t)-1);
}

int text_append_n(char *dst, size_t dst_size, const char *src)
{
    size_t used = strnlen(dst, dst_size);
    if (used >= dst_size)
        return 0;  // not a terminated text: refuse rather than run past it
    return text_copy_n(dst + used, dst_size - used, src);
}

int text_vformat_n(char *dst, size_t dst_size, const char *format, va_list args)
{
    if (dst_size == 0)
        return 0;
    int needed = vsnprintf(dst, dst_size, format, args);
    if (needed < 0) {
        dst[0] = '\0';
        return 0;
    }
    return (size_t)needed < dst_size;
}

int text_format_n(char *dst, size_t dst_size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int fits = text_vformat_n(dst, dst_size, format, args);
    va_end(args);
    return fits;
}

static unsigned char ascii_lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c - 'A' + 'a') : c;
}

const char *text_find_ascii_nocase(const char *haystack, const char *needle)
{
    size_t n = strlen(needle);
    for (const char *p = haystack; *p; p++) {
        size_t i = 0;
        while (i < n && p[i] && ascii_lower((unsigned char)p[i]) == ascii_lower((unsigned char)needle[i]))
            i++;
        if (i == n)
            return p;
    }
    return n == 0 ? haystack : nullptr;
}
