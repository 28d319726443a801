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
// Simulated drives. A drive letter is mapped to a folder of the test prefix
// through Wine's mount manager, the way a real device appears: the letter shows
// at once in every process of the prefix, with the type given (DRIVE_REMOVABLE
// or DRIVE_FIXED), until it is pulled. Both return 1 on success.
int plug_drive(char letter, const std::string &folder, unsigned drive_type);
int pull_drive(char letter);
// The Unix path of a Windows path, "" when Wine cannot map it.
std::string unix_path(const std::string &windows_path);

// Plugs a drive for the life of the object and pulls it afterwards.
struct ScopedDrive {
    ScopedDrive(char letter, const std::string &folder, unsigned drive_type)
        : letter_(letter), plugged_(plug_drive(letter, folder, drive_type))
    {
    }
    ~ScopedDrive()
    {
        if (plugged_)
            pull_drive(letter_);
    }
    ScopedDrive(const ScopedDrive &) = delete;
    ScopedDrive &operator=(const ScopedDrive &) = delete;
    char letter_;
    int plugged_;
};
