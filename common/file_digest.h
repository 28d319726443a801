// The size and SHA-256 hash of a file's bytes, to tell whether two files are the same
// program without reading both every time.
#pragma once
#include <windows.h>

struct FileDigest {
    ULONGLONG size;
    BYTE hash[32];
};

// Reads the whole file at path (code page 1251); 1 when all of it was read and hashed.
int file_digest(const char *path, FileDigest *digest);
// Whether two digests describe the same bytes.
bool same_digest(const FileDigest &first, const FileDigest &second);
