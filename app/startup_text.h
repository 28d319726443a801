// Start-up texts that need no system call: the user's folder name and the program path.
#pragma once
#include <cstddef>

// Six digits derived from the user name (the data folder's last level).
// 1 when all six fit into out; 0 when out is too small (it then holds what fit).
int user_folder_name(const char *user_name, char *out, size_t out_size);

// The program path: the command line without quotes, cut after its first ".exe"
// in any letter case. 0 and out untouched when there is no ".exe" or the path
// does not fit out.
int exe_path_from_command_line(const char *command_line, char *out, size_t out_size);
