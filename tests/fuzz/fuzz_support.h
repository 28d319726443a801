// Shared pieces of the fuzz targets: contract checks and buffers of exact size.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// Ends the run with a finding when a parser breaks its contract.
#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            fprintf(stderr, "%s:%d: contract broken: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                          \
        }                                                                                     \
    } while (0)

// A heap block of exactly the size asked for, so that one byte past its end is an
// AddressSanitizer finding. It starts filled with a marker byte.
struct ExactBuffer {
    explicit ExactBuffer(size_t n) : size(n), bytes(new char[n]) { memset(bytes.get(), MARK, n); }
    char *data() { return bytes.get(); }
    std::string contents() const { return std::string(bytes.get(), size); }
    static const char MARK = '\x5A';
    size_t size;
    std::unique_ptr<char[]> bytes;
};

// A C text (cut at its first NUL) in a block of exactly its length plus one.
struct ExactText {
    explicit ExactText(const std::string &text) : value(text.c_str()), buffer(value.size() + 1)
    {
        memcpy(buffer.data(), value.c_str(), value.size() + 1);
    }
    const char *c_str() { return buffer.data(); }
    std::string value;
    ExactBuffer buffer;
};

// A text of the fuzz input with no NUL in it.
inline std::string take_text(FuzzedDataProvider &input, size_t max_length)
{
    return std::string(input.ConsumeRandomLengthString(max_length).c_str());
}

// Whether buffer holds what a bounded write of full leaves in it: the longest
// prefix that fits and a NUL right after it.
inline bool holds_bounded(const char *buffer, size_t size, const std::string &full)
{
    if (size == 0)
        return true;
    size_t kept = std::min(full.size(), size - 1);
    return memcmp(buffer, full.data(), kept) == 0 && buffer[kept] == '\0';
}

// ASCII-only lower case: code page 1251 letters are left as they are.
inline std::string ascii_lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}
