// Writing into folders a user can change without following links.
//
// The program runs elevated; a user (or a program of the user) who can change a folder
// could put a link, junction or second name (hard link) of another file there, so that
// a write meant for that folder lands on a file elsewhere. These operations refuse
// such a path: every folder on the way is checked for a reparse point, and the handle
// that is written through must lie exactly at the intended path (its final path, links
// resolved, compared with the path asked for) and be the file's only name.
#pragma once
#include <windows.h>

// Opens path (code page 1251, a full path "X:\...") for writing, creating the file when
// it is missing and resetting its attributes to archive only (read-only, hidden and
// system files must yield). The content is kept. INVALID_HANDLE_VALUE when the path
// leads through a link, is a link itself, is a folder, or cannot be opened.
HANDLE open_for_writing_no_links(const char *path);

// 1 when path is a folder reached without any link: the folder itself and every folder
// above it are plain folders.
int is_plain_folder(const char *path);

// Makes path a folder unless it already is one; 1 when it is a plain folder afterwards.
// security may be nullptr. A link of that name, or a link above it, is refused.
int make_plain_folder(const char *path, SECURITY_ATTRIBUTES *security);

// Writes the whole of source's bytes into target, opened as open_for_writing_no_links
// does, and cuts anything beyond them. 1 when every byte was written.
int copy_file_no_links(const char *source, const char *target);
