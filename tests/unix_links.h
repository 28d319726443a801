// Links as Wine can stage them: Linux symbolic links and hard links made from the Linux
// side (Wine has no call that makes a symbolic link and no junctions). Wine 8 shows a
// link to a folder as directory plus reparse point (0x410) and a link to a file as a
// plain file; opening either follows it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

// Runs a Linux command and waits for it; true when it exited with 0.
inline bool run_unix_command(std::vector<std::string> words)
{
    typedef LONG(CDECL * Spawn)(char *const *argv, int wait);
    Spawn spawn = (Spawn)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "__wine_unix_spawnvp");
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    return spawn && spawn(argv.data(), 1) == 0;
}

// Makes link a symbolic link (or, with hard set, a second name) of target.
inline bool make_unix_link(const std::string &link, const std::string &target, bool hard = false)
{
    std::string link_unix = unix_path(link), target_unix = unix_path(target);
    return !link_unix.empty() && !target_unix.empty() &&
           run_unix_command({"ln", hard ? "-f" : "-s", target_unix, link_unix});
}

// Removes a folder from the Linux side, links and all: through Wine it would follow them.
inline void remove_unix_tree(const std::string &folder)
{
    run_unix_command({"rm", "-rf", unix_path(folder)});
}
