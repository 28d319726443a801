#include "drives/file_records.h"

#include <cstddef>

int next_file_record(const char **cursor, FileRecord *record)
{
    char *fields[] = {record->name, record->note, record->time};
    const size_t sizes[] = {sizeof record->name, sizeof record->note, sizeof record->time};
    size_t lengths[] = {0, 0, 0};
    int field = 0;
    record->name[0] = record->note[0] = record->time[0] = '\0';
    for (const char *p = *cursor; *p; p++) {
        if (*p == '\n') {
            *cursor = p + 1;
            return 1;
        }
        if (*p == '|') {
            if (field < 2)
                field++;
            continue;
        }
        // Characters past the end of a field's buffer are dropped.
        if (lengths[field] + 1 < sizes[field]) {
            fields[field][lengths[field]++] = *p;
            fields[field][lengths[field]] = '\0';
        }
    }
    return 0;
}
