// An event line split into time and text: the first three spaces dropped
// wherever they stand, both parts terminated inside their buffers, a cut part
// reported; and a line built the way the log builds it splits back into its parts.
#include "fuzz_support.h"
#include "log/event_text.h"

struct Split {
    int result;
    std::string time, text;
};

// The split walked character by character, with unlimited room.
static Split expected_split(const std::string &line)
{
    Split split = {0, "", ""};
    if (line.empty() || line.find("   ") == std::string::npos)
        return split;
    int spaces = 0;
    for (char c : line) {
        if (c == ' ' && spaces < 3)
            spaces++;
        else if (spaces == 0)
            split.time += c;
        else
            split.text += c;
    }
    split.result = 1;
    return split;
}

static void check_split(const std::string &text_line, size_t time_size, size_t text_size)
{
    ExactText line(text_line);
    ExactBuffer time_part(time_size), text_part(text_size);
    std::string time_before = time_part.contents(), text_before = text_part.contents();
    int result = split_event_line(line.c_str(), time_part.data(), time_size, text_part.data(), text_size);
    if (time_size == 0 || text_size == 0) {
        FUZZ_CHECK(result == 0);
        FUZZ_CHECK(time_part.contents() == time_before && text_part.contents() == text_before);
        return;
    }
    Split wanted = expected_split(line.value);
    bool fits = wanted.time.size() < time_size && wanted.text.size() < text_size;
    FUZZ_CHECK(result == (wanted.result && fits ? 1 : 0));
    FUZZ_CHECK(holds_bounded(time_part.data(), time_size, wanted.time));
    FUZZ_CHECK(holds_bounded(text_part.data(), text_size, wanted.text));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    size_t time_size = input.ConsumeIntegralInRange<size_t>(0, 600);
    size_t text_size = input.ConsumeIntegralInRange<size_t>(0, 600);
    if (input.ConsumeBool()) {
        check_split(take_text(input, 1200), time_size, text_size);
        return 0;
    }
    // "%s   %s" of a time without spaces and any text splits back into the two.
    std::string time = take_text(input, 20);
    time.erase(std::remove(time.begin(), time.end(), ' '), time.end());
    std::string text = take_text(input, 600);
    ExactText line(time + "   " + text);
    char time_part[512], text_part[1024];
    FUZZ_CHECK(split_event_line(line.c_str(), time_part, sizeof time_part, text_part, sizeof text_part) == 1);
    FUZZ_CHECK(time == time_part && text == text_part);
    check_split(line.value, time_size, text_size);
    return 0;
}
