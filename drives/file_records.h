// Reading a sweep's record text back: lines "name|note|time" ended by a line feed.
#pragma once

enum { RECORD_NAME_SIZE = 512, RECORD_FIELD_SIZE = 64 };

// One record's fields. A field longer than its buffer is cut: the fields are
// shown in FileList only, never used to reach a file.
struct FileRecord {
    char name[RECORD_NAME_SIZE];
    char note[RECORD_FIELD_SIZE];
    char time[RECORD_FIELD_SIZE];
};

// Reads the record that starts at *cursor and moves *cursor past its line feed.
// "|" ends the name, then the note; further bars are dropped. 0 at the end of
// the text: characters after the last line feed form no record.
int next_file_record(const char **cursor, FileRecord *record);
