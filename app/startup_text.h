// Start-up texts that need no system call: the user's folder name.
#pragma once
#include <cstddef>

// Six digits derived from the user name (the data folder's last level).
// 1 when all six fit into out; 0 when out is too small (it then holds what fit).
int user_folder_name(const char *user_name, char *out, size_t out_size);

