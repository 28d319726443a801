// The settings file kx.vars and the small file operations shared by every area.
#pragma once
#include <cstdio>

// One procedure, two modes: a mode text containing "get" loads, "set" saves.
int settings_file(const char *mode);
inline int load_settings(const char *mode = "get") { return settings_file(mode); }
inline int save_settings(const char *mode = "set") { return settings_file(mode); }

// fopen; a mode that writes opens the file as open_for_writing_no_links does (no
// link anywhere on the path, attributes reset to archive) and empties it.
FILE *open_stream(const char *path, const char *mode);
// Number of bytes in the file, 0 when it cannot be opened.
int count_file_bytes(const char *path);
