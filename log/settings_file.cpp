#include "log/settings_file.h"

#include <windows.h>

#include <cstring>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "log/settings_text.h"

FILE *open_stream(const char *path, const char *mode)
{
    if (strchr(mode, 'w')) {
        DWORD attributes = GetFileAttributesA(path);
        // Read-only, hidden and system files must yield; a directory is left alone.
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
    }
    return fopen(path, mode);
}

int count_file_bytes(const char *path)
{
    FILE *file = open_stream(path, "rb");
    if (!file)
        return 0;
    int count = 0;
    while (fgetc(file) != EOF)
        count++;
    fclose(file);
    return count;
}

static int load_settings_file()
{
    char path[TEXT_SIZE];
    text_copy(path, app.settings_path);
    if (!path_exists(path))
        return 0;
    FILE *file = open_stream(app.settings_path, "r");
    if (!file)
        return 0;
    char line[512];
    if (fgets(line, sizeof line, file))
        settings_from_line(line, app.settings, sizeof app.settings);
    fclose(file);
    return 1;
}

static int save_settings_file()
{
    app.settings[SETTINGS_SIZE - 1] = '\0';
    FILE *file = open_stream(app.settings_path, "w");
    if (!file)
        return 1;  // nothing to write to; the exit goes on
    fwrite(app.settings, 1, strlen(app.settings), file);
    fclose(file);
    return 1;
}

int settings_file(const char *mode)
{
    if (strstr(mode, "get"))
        return load_settings_file();
    if (strstr(mode, "set"))
        return save_settings_file();
    return 1;
}
