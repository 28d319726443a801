// Record text read back record by record: fields split at the first two bars,
// cut to their buffers and always terminated, the cursor just past each line
// feed, nothing from an unfinished last line; and records written the way a
// sweep writes them come back as they were.
#include <vector>

#include "drives/file_records.h"
#include "fuzz_support.h"

enum { RECORD_TEXT_SIZE = 4096 };

struct ExpectedRecord {
    std::string fields[3];
    size_t end;  // offset just past the line feed
};

// The records of text, split as the format says, with each field cut to its buffer.
static std::vector<ExpectedRecord> expected_records(const std::string &text)
{
    const size_t sizes[] = {RECORD_NAME_SIZE, RECORD_FIELD_SIZE, RECORD_FIELD_SIZE};
    std::vector<ExpectedRecord> records;
    ExpectedRecord current;
    int field = 0;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '\n') {
            current.end = i + 1;
            records.push_back(current);
            current = ExpectedRecord();
            field = 0;
        } else if (c == '|') {
            field = std::min(field + 1, 2);
        } else if (current.fields[field].size() + 1 < sizes[field]) {
            current.fields[field] += c;
        }
    }
    return records;
}

static bool terminated_within(const char *field, size_t size)
{
    return memchr(field, '\0', size) != nullptr;
}

// Reads all records of text and compares them with the expected ones.
static void check_reading(const std::string &text, const std::vector<ExpectedRecord> &expected)
{
    ExactText records(text);
    std::unique_ptr<FileRecord> record(new FileRecord);
    const char *cursor = records.c_str();
    size_t count = 0;
    while (next_file_record(&cursor, record.get())) {
        FUZZ_CHECK(count < expected.size());
        const ExpectedRecord &wanted = expected[count++];
        FUZZ_CHECK(terminated_within(record->name, sizeof record->name));
        FUZZ_CHECK(terminated_within(record->note, sizeof record->note));
        FUZZ_CHECK(terminated_within(record->time, sizeof record->time));
        FUZZ_CHECK(record->name == wanted.fields[0]);
        FUZZ_CHECK(record->note == wanted.fields[1]);
        FUZZ_CHECK(record->time == wanted.fields[2]);
        FUZZ_CHECK(cursor == records.c_str() + wanted.end);
    }
    FUZZ_CHECK(count == expected.size());
    // The end leaves the cursor where the last record ended.
    FUZZ_CHECK(cursor == records.c_str() + (expected.empty() ? 0 : expected.back().end));
}

// A field as a sweep writes it: no bar, no line feed, within its buffer.
static std::string take_field(FuzzedDataProvider &input, size_t size)
{
    std::string field = take_text(input, size - 1);
    field.erase(std::remove_if(field.begin(), field.end(), [](char c) { return c == '|' || c == '\n'; }),
                field.end());
    return field;
}

static void check_round_trip(FuzzedDataProvider &input)
{
    std::string text;
    std::vector<ExpectedRecord> written;
    while (input.remaining_bytes() > 0) {
        ExpectedRecord record;
        record.fields[0] = take_field(input, RECORD_NAME_SIZE);
        record.fields[1] = take_field(input, RECORD_FIELD_SIZE);
        record.fields[2] = take_field(input, RECORD_FIELD_SIZE);
        std::string line = record.fields[0] + "|" + record.fields[1] + "|" + record.fields[2] + "\n";
        if (text.size() + line.size() >= RECORD_TEXT_SIZE)
            break;
        text += line;
        record.end = text.size();
        written.push_back(record);
    }
    check_reading(text, written);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        check_round_trip(input);
        return 0;
    }
    // Any bytes a record buffer can hold.
    std::string text(input.ConsumeRemainingBytesAsString().c_str());
    text.resize(std::min(text.size(), (size_t)RECORD_TEXT_SIZE - 1));
    check_reading(text, expected_records(text));
    return 0;
}
