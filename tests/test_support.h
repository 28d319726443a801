// Helpers shared by the test executables: scratch folders and file bytes.
#pragma once
#include <windows.h>

#include <string>

// A new empty folder under the Windows temp folder, unique to this test run.
std::string make_scratch_dir(const char *name);
// Whole file as bytes; "" when it cannot be read.
std::string read_file_bytes(const std::string &path);
void write_file_bytes(const std::string &path, const std::string &bytes);
// Recursively removes a folder tree, resetting attributes first.
void remove_tree(const std::string &path);

// Windows path of the built kestrix.exe (the runner passes it in KX_EXE as a Unix path); "" when unset.
std::string kestrix_exe_path();
// kestrix.exe loaded for its resources (bitmaps, icon, sound), once; nullptr when it cannot be.
HMODULE kestrix_resources();
