// Copy, prefix copy, append and format into a buffer of fuzzed size: always
// terminated inside it, the longest prefix kept, truncation reported; and the
// case-insensitive ASCII search against a plain one.
#include "common/bounded_text.h"
#include "fuzz_support.h"

static void check_copy(FuzzedDataProvider &input, size_t dst_size)
{
    ExactText src(take_text(input, 700));
    ExactBuffer dst(dst_size);
    int fits = text_copy_n(dst.data(), dst_size, src.c_str());
    FUZZ_CHECK(fits == (src.value.size() < dst_size));
    FUZZ_CHECK(holds_bounded(dst.data(), dst_size, src.value));
}

static void check_copy_prefix(FuzzedDataProvider &input, size_t dst_size)
{
    size_t count = input.ConsumeBool() ? input.ConsumeIntegral<size_t>() : input.ConsumeIntegralInRange<size_t>(0, 700);
    ExactText src(take_text(input, 700));
    ExactBuffer dst(dst_size);
    int fits = text_copy_prefix_n(dst.data(), dst_size, src.c_str(), count);
    std::string wanted = src.value.substr(0, std::min(count, src.value.size()));
    FUZZ_CHECK(fits == (wanted.size() < dst_size));
    FUZZ_CHECK(holds_bounded(dst.data(), dst_size, wanted));
}

static void check_append(FuzzedDataProvider &input, size_t dst_size)
{
    // The buffer may already hold a text, or bytes with no NUL at all.
    std::string before = input.ConsumeBytesAsString(dst_size);
    ExactText src(take_text(input, 700));
    ExactBuffer dst(dst_size);
    memcpy(dst.data(), before.data(), before.size());
    std::string old = dst.contents();
    int fits = text_append_n(dst.data(), dst_size, src.c_str());
    size_t end = old.find('\0');
    if (end == std::string::npos) {
        FUZZ_CHECK(fits == 0);
        FUZZ_CHECK(dst.contents() == old);
        return;
    }
    std::string wanted = old.substr(0, end) + src.value;
    FUZZ_CHECK(fits == (wanted.size() < dst_size));
    FUZZ_CHECK(holds_bounded(dst.data(), dst_size, wanted));
}

// Formats with one of the shapes the program uses, then with ample room for the reference.
static void check_format(FuzzedDataProvider &input, size_t dst_size)
{
    ExactText a(take_text(input, 600)), b(take_text(input, 600));
    int number = input.ConsumeIntegral<int>();
    char letter = (char)input.ConsumeIntegral<unsigned char>();
    ExactBuffer dst(dst_size);
    std::string full(a.value.size() + b.value.size() + 64, '\0');
    int fits = 0, needed = 0;
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        fits = text_format_n(dst.data(), dst_size, "%s\\%s", a.c_str(), b.c_str());
        needed = snprintf(&full[0], full.size(), "%s\\%s", a.c_str(), b.c_str());
        break;
    case 1:
        fits = text_format_n(dst.data(), dst_size, "%s   %s", a.c_str(), b.c_str());
        needed = snprintf(&full[0], full.size(), "%s   %s", a.c_str(), b.c_str());
        break;
    case 2:
        fits = text_format_n(dst.data(), dst_size, "%c:\\", letter);
        needed = snprintf(&full[0], full.size(), "%c:\\", letter);
        break;
    default:
        fits = text_format_n(dst.data(), dst_size, "Найдено ауторанов: %d. Удалено: %s", number, a.c_str());
        needed = snprintf(&full[0], full.size(), "Найдено ауторанов: %d. Удалено: %s", number, a.c_str());
        break;
    }
    FUZZ_CHECK(needed >= 0 && (size_t)needed < full.size());
    full.resize((size_t)needed);
    FUZZ_CHECK(fits == (full.size() < dst_size));
    FUZZ_CHECK(holds_bounded(dst.data(), dst_size, full));
}

static void check_find(FuzzedDataProvider &input)
{
    ExactText needle(take_text(input, 8));
    ExactText haystack(take_text(input, 700));
    const char *found = text_find_ascii_nocase(haystack.c_str(), needle.c_str());
    size_t wanted = ascii_lower(haystack.value).find(ascii_lower(needle.value));
    if (wanted == std::string::npos)
        FUZZ_CHECK(found == nullptr);
    else
        FUZZ_CHECK(found == haystack.c_str() + wanted);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    int operation = input.ConsumeIntegralInRange(0, 4);
    size_t dst_size = input.ConsumeIntegralInRange<size_t>(0, 600);
    switch (operation) {
    case 0:
        check_copy(input, dst_size);
        break;
    case 1:
        check_copy_prefix(input, dst_size);
        break;
    case 2:
        check_append(input, dst_size);
        break;
    case 3:
        check_format(input, dst_size);
        break;
    default:
        check_find(input);
        break;
    }
    return 0;
}
