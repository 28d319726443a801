// The data folder's name from the user name: six decimal digits from the
// signed byte sum and the length, cut and reported when out is smaller.
#include "app/startup_text.h"
#include "fuzz_support.h"

// "%d%d123456" of the sum made positive and the length, with "TV" appended to the name.
static std::string expected_digits(const std::string &user_name)
{
    long sum = 'T' + 'V';
    for (char c : user_name)
        sum += (signed char)c;
    return std::to_string(sum < 0 ? -sum : sum) + std::to_string(user_name.size() + 2) + "123456";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    size_t out_size = input.ConsumeBool() ? 8 : input.ConsumeIntegralInRange<size_t>(0, 16);
    ExactText user_name(take_text(input, 4000));
    ExactBuffer out(out_size);

    int fits = user_folder_name(user_name.c_str(), out.data(), out_size);
    std::string folder = expected_digits(user_name.value).substr(0, 6);
    FUZZ_CHECK(folder.size() == 6 && folder.find_first_not_of("0123456789") == std::string::npos);
    FUZZ_CHECK(fits == (out_size > 6 ? 1 : 0));
    FUZZ_CHECK(holds_bounded(out.data(), out_size, folder));
    return 0;
}
