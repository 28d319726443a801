// Autorun removal and the protection folder, one location at a time.
//
// A location is a directory given without a trailing backslash: a drive root
// as "E:" or the system directory. sweep_location lists or deletes the files
// that match the pattern in that directory (never in its sub-directories) and
// gives the location a protection folder: a directory "autorun.inf" holding
// info.txt and, when copy_program_flag is "1", a copy of the program.
//
// Record text, the way a sweep hands its findings to FileList:
//   - a buffer of RECORD_TEXT_SIZE (4096) bytes that the caller empties before
//     the sweep; it always stays NUL-terminated, so it holds at most 4095
//     bytes of text;
//   - one record per line: name "|" note "|" time "\n", in directory order,
//     autorun files first and the protection-folder record last;
//   - an autorun file: its long name from the directory's listing in code page
//     1251, '?' for each character 1251 cannot spell (at most 259 bytes; Windows
//     names never hold "|" or a line feed), the note "LOCK" (locked mode) or its attribute_note ("скрытый",
//     "системный", "защищен" or ""), and format_file_time of its last-write
//     time ("07:05:09,  03.11.2012", or "" when the time cannot be converted);
//   - the protection folder: "autorun.inf (папка защиты)", the note
//     "съемный диск" for a removable location or a single space, and a single
//     space as time;
//   - a record is appended whole or not at all: one that would not fit is
//     dropped and the next one is still tried, so the text is always a run of
//     whole lines. A record of an autorun file takes at most 293 bytes
//     (259 + 1 + 9 + 1 + 22 + 1), so at least 13 of them always fit.
#pragma once
#include <windows.h>

#include <cstddef>

// Modes of a sweep.
enum { SWEEP_LOOK = 0, SWEEP_ACT = 1, SWEEP_LOCKED = 4 };

// folder_state: the caller sets FOLDER_NONE before the sweep.
enum { FOLDER_NONE = 0, FOLDER_PRESENT = 1, FOLDER_CREATED = 2 };

enum {
    RECORD_TEXT_SIZE = 4096,
    SWEEP_FILE_LIMIT = 41,        // matching files handled per location and pass
    SWEEP_EXAMINE_LIMIT = 10000,  // directory entries examined per location and pass, whatever they are
};

// What an act sweep leaves behind, for the watch cycle to tell a live infection from a drive
// that cannot be cleaned.
struct SweepEvidence {
    int held;                      // files another process holds, so that they could not be deleted
    unsigned long long survivors;  // signature of the matching files left in place (location, id, name); 0: none
};

// Lists (look, locked) or deletes (act) the files matching pattern at location,
// appends their records to records, then runs the protection-folder step.
// Returns the number of matching files handled (directories never count);
// *deleted receives the number of files deleted, *evidence (when given) what the
// act pass could not delete. A location whose paths would not fit is not touched
// at all: the result is 0 and *deleted is 0.
// The files come from the directory's own listing, narrowed to the pattern by the
// file system: a file matches when its long UTF-16 name has the pattern's form
// ("autorun" alone does not match "autorun.*"). Directories never use up the
// SWEEP_FILE_LIMIT files a sweep handles.
// A file is deleted through a handle opened by its id, never by a name. Nothing is
// changed through a link: a matching file, autorun.inf, or a file inside it that
// leads anywhere but to itself is left as it is (a matching one is still counted,
// and an act pass lists it, since it stays).
int sweep_location(const char *location, const char *pattern, int mode, char (&records)[RECORD_TEXT_SIZE],
                   int *deleted, int removable, int *folder_state, SweepEvidence *evidence = nullptr);

// Appends one record "name|note|time\n"; returns 0 and leaves records as they
// were when the record does not fit.
int append_file_record(char (&records)[RECORD_TEXT_SIZE], const char *name, const char *note, const char *time);

// Resets the file to archive only and deletes it; 1 when both steps succeeded.
int force_delete_file(const char *path);

// "скрытый", "системный" or "защищен" for the first of hidden, system and
// read-only that is set (returns 1); "" and 0 when none is.
int attribute_note(DWORD attributes, char *note, size_t note_size);

// Local time as "hh:mm:ss,  dd.mm.yyyy"; "" and 0 when it cannot be converted.
int format_file_time(const FILETIME *time, char *text, size_t text_size);

// Writes info.txt, the note that explains the protection folder; 0 when it
// cannot be opened.
int write_folder_note(const char *info_path);

// Copies the running program into the folder unless the copy there already
// carries the running version; 1 when the copy is current afterwards.
int copy_program_to_folder(const char *folder_path);
