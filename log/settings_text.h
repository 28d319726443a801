// The option characters of the settings file's first line, without any file access.
#pragma once
#include <cstddef>

// Copies the first settings_size - 1 characters of line into settings when the
// line holds that many before its line end (CR, LF or the end of the text); a
// line one character short of that but ended by a line end gives its characters
// and "0" for the last; a shorter line leaves settings as they were. 1 when
// settings were taken.
int settings_from_line(const char *line, char *settings, size_t settings_size);
