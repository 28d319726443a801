#include "drives/emergency_disk.h"

#include <windows.h>

#include <cstdio>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/link_safe_files.h"
#include "kx_product.h"
#include "log/settings_file.h"

// The disc opens the program; the last line has no line end.
static const char AUTORUN_TEXT[] = "[autorun]\nopen=kestrix.exe\nicon=kestrix.exe";

// Lying beside the program, this file makes it start in emergency mode.
static const char MARKER_TEXT[] =
    "Этот файл создан программой \"Kestrix\" (" KX_WEB_DOMAIN ").    \n"
    "Если он находится в одной директории с файлом \"kestrix.exe\" -   \n"
    "это равносильно запуску программы с параметром -start, \n"
    "при котором Windows сразу очищается от лишних процессов    \n"
    "(многие вирусы будут остановлены).\n"
    "\n"
    "Файлы аварийного диска могут быть помещены как на CD-диск,   \n"
    "так и на флешку или на карту памяти,   \n"
    "которые нужно защитить от записи LOCK-переключателем.        \n"
    "Версия программы: " KX_VERSION_DOTTED "\n"
    "******\n";

// Writes a text file in text mode (CR LF line ends); 1 when all of it was written.
static int write_text_file(const char *path, const char *text)
{
    FILE *file = open_stream(path, "w");
    if (!file)
        return 0;
    int written = fputs(text, file) >= 0;
    return (fclose(file) == 0) && written;
}

int create_emergency_disk()
{
    // Every path is composed before anything is touched: one that does not fit stops it all.
    char folder[TEXT_SIZE], program[TEXT_SIZE], autorun[TEXT_SIZE], marker[TEXT_SIZE];
    if (!app.desktop_dir[0] || !text_format(folder, "%s\\KX_Disk", app.desktop_dir) ||
        !text_format(program, "%s\\kestrix.exe", folder) || !text_format(autorun, "%s\\autorun.inf", folder) ||
        !text_format(marker, "%s\\kx_start.txt", folder))
        return 0;

    // The desktop is the user's: KX_Disk or anything in it may be a link leading elsewhere.
    if (!make_plain_folder(folder, nullptr))
        return 0;
    if (!app.exe_path[0] || !copy_file_no_links(app.exe_path, program) || !write_text_file(autorun, AUTORUN_TEXT) ||
        !write_text_file(marker, MARKER_TEXT))
        return 0;
    text_copy(app.emergency_disk_dir, folder);
    return 1;
}
