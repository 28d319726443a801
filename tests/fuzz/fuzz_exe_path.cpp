// The program path from a command line: quotes dropped, cut after the first
// ".exe" in any letter case, and out untouched when there is none or the path
// would not fit.
#include "app/startup_text.h"
#include "common/text_sizes.h"
#include "fuzz_support.h"

// The path as the rule describes it; "" when there is none.
static std::string expected_path(const std::string &command_line)
{
    std::string unquoted;
    for (char c : command_line)
        if (c != '"' && c != '\'' && unquoted.size() + 1 < COMMAND_LINE_SIZE)
            unquoted += c;
    size_t extension = ascii_lower(unquoted).find(".exe");
    return extension == std::string::npos ? "" : unquoted.substr(0, extension + 4);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    size_t out_size = input.ConsumeBool() ? 512 : input.ConsumeIntegralInRange<size_t>(0, 1100);
    ExactText command_line(take_text(input, 1500));
    ExactBuffer out(out_size);
    std::string before = out.contents();

    int found = exe_path_from_command_line(command_line.c_str(), out.data(), out_size);
    std::string path = expected_path(command_line.value);
    if (path.empty() || path.size() >= out_size) {
        FUZZ_CHECK(found == 0);
        FUZZ_CHECK(out.contents() == before);
        return 0;
    }
    FUZZ_CHECK(found == 1);
    FUZZ_CHECK(memcmp(out.data(), path.c_str(), path.size() + 1) == 0);
    FUZZ_CHECK(strpbrk(out.data(), "\"'") == nullptr);
    FUZZ_CHECK(ascii_lower(out.data()).find(".exe") == path.size() - 4);
    return 0;
}
