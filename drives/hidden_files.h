// Making hidden files and folders visible again in a folder the user picks.
#pragma once

// Asks for a drive or folder and unhides its entries. 1 when a folder was chosen, 0 on cancel.
int show_hidden_files();

// Gives every direct entry of folder the archive attribute alone, logs the hidden ones,
// reports the counts and opens the folder. 1 after a run over at least one entry,
// 0 when the folder could not be read or was empty.
int unhide_folder(const char *folder);
