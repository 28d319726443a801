// Bounded text helpers: whole texts fit, cut texts are reported and stay terminated.
#include <gtest/gtest.h>

#include <cstring>

#include "common/bounded_text.h"

TEST(BoundedText, CopyReportsWhetherTheTextFit)
{
    char small[6];
    EXPECT_EQ(text_copy(small, "12345"), 1);
    EXPECT_STREQ(small, "12345");
    EXPECT_EQ(text_copy(small, "123456"), 0);
    EXPECT_STREQ(small, "12345");
    EXPECT_EQ(text_copy(small, ""), 1);
    EXPECT_STREQ(small, "");
}

TEST(BoundedText, AppendStopsAtTheBufferEnd)
{
    char buffer[8] = "abc";
    EXPECT_EQ(text_append(buffer, "defg"), 1);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(text_append(buffer, "h"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
    // A buffer without a terminator is refused, never read past.
    char unterminated[4] = {'x', 'y', 'z', 'w'};
    EXPECT_EQ(text_append(unterminated, "a"), 0);
}

TEST(BoundedText, FormatIsKeyedOnTheArraySize)
{
    char path[16];
    EXPECT_EQ(text_format(path, "%s\\%s", "C:", "dir"), 1);
    EXPECT_STREQ(path, "C:\\dir");
    EXPECT_EQ(text_format(path, "%s\\%s", "C:\\Windows", "System32"), 0);
    EXPECT_EQ(strlen(path), 15u);
    char exact[4];
    EXPECT_EQ(text_format(exact, "%d", 123), 1);
    EXPECT_EQ(text_format(exact, "%d", 1234), 0);
}

TEST(BoundedText, PrefixCopyAndCaseInsensitiveSearch)
{
    char out[8];
    EXPECT_EQ(text_copy_prefix_n(out, sizeof out, "abcdef", 3), 1);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(text_copy_prefix_n(out, sizeof out, "ab", 5), 1);
    EXPECT_STREQ(out, "ab");

    const char *line = "C:\\TOOLS\\KESTRIX.EXE -start";
    EXPECT_EQ(text_find_ascii_nocase(line, ".exe"), line + 16);
    EXPECT_EQ(text_find_ascii_nocase("Результат", ".exe"), nullptr);
}
