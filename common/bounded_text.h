// Bounded text helpers: the only way bytes enter a fixed-size char buffer.
// Every helper keeps the destination NUL-terminated and returns 1 when the
// whole text fit, 0 when it had to be cut. A cut path is an error for the
// caller: it must never be used to touch a file or a registry key.
#pragma once
#include <cstdarg>
#include <cstddef>

// Format strings are checked by the C99 rules the helpers follow: gcc for MinGW
// takes plain printf to mean Microsoft's rules and calls C99 gnu_printf.
#if defined(__clang__)
#define KX_PRINTF_CHECK(format_index, first_argument) __attribute__((format(printf, format_index, first_argument)))
#else
#define KX_PRINTF_CHECK(format_index, first_argument) __attribute__((format(gnu_printf, format_index, first_argument)))
#endif

int text_copy_n(char *dst, size_t dst_size, const char *src);
int text_append_n(char *dst, size_t dst_size, const char *src);
int text_format_n(char *dst, size_t dst_size, const char *format, ...) KX_PRINTF_CHECK(3, 4);
int text_vformat_n(char *dst, size_t dst_size, const char *format, va_list args) KX_PRINTF_CHECK(3, 0);

// Copies at most count bytes of src (stops earlier at its NUL).
int text_copy_prefix_n(char *dst, size_t dst_size, const char *src, size_t count);

// Case-insensitive search for an ASCII needle in a code page 1251 text.
const char *text_find_ascii_nocase(const char *haystack, const char *needle);

template <size_t N>
inline int text_copy(char (&dst)[N], const char *src) { return text_copy_n(dst, N, src); }
template <size_t N>
inline int text_append(char (&dst)[N], const char *src) { return text_append_n(dst, N, src); }

// Size of a real array; refuses to compile for a pointer.
template <typename T, size_t N>
constexpr size_t kx_array_size(T (&)[N]) { return N; }

// Formats into a char array, keyed on its declared size (format strings are checked).
#define text_format(dst, ...) text_format_n((dst), kx_array_size(dst), __VA_ARGS__)
