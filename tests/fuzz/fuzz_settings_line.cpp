// The settings file's first line as fgets hands it over: the options are taken
// whole from a line long enough, never with a line end among them; from a line one
// short before its line end with the last option off; or not at all.
#include "fuzz_support.h"
#include "log/settings_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // Mostly the program's own seven bytes, sometimes any other size.
    size_t settings_size = input.ConsumeBool() ? 7 : input.ConsumeIntegralInRange<size_t>(0, 40);
    // At most 511 bytes, as a 512-byte fgets reads them.
    ExactText line(take_text(input, 511));
    ExactBuffer settings(settings_size);
    if (settings_size > 0) {
        memset(settings.data(), '0', settings_size - 1);
        settings.data()[settings_size - 1] = '\0';
    }
    std::string before = settings.contents();

    int taken = settings_from_line(line.c_str(), settings.data(), settings_size);
    size_t options = settings_size ? settings_size - 1 : 0;
    size_t before_line_end = std::min(line.value.find_first_of("\r\n"), line.value.size());
    bool long_enough = settings_size > 0 && before_line_end >= options;
    bool one_short = settings_size > 1 && before_line_end == options - 1 && before_line_end < line.value.size();
    FUZZ_CHECK(taken == (long_enough || one_short ? 1 : 0));
    if (!taken) {
        FUZZ_CHECK(settings.contents() == before);
        return 0;
    }
    if (one_short) {
        FUZZ_CHECK(memcmp(settings.data(), line.value.data(), options - 1) == 0);
        FUZZ_CHECK(settings.data()[options - 1] == '0');
    } else {
        FUZZ_CHECK(memcmp(settings.data(), line.value.data(), options) == 0);
    }
    FUZZ_CHECK(settings.data()[options] == '\0');
    FUZZ_CHECK(strcspn(settings.data(), "\r\n") == options);
    return 0;
}
