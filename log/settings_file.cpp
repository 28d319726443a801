#include "log/settings_file.h"

#include <windows.h>

#include <cstring>
#include <fcntl.h>
#include <io.h>

#include "app/app_state.h"
#include "common/bounded_text.h"
#include "common/link_safe_files.h"
#include "log/settings_text.h"

FILE *open_stream(const char *path, const char *mode)
{
    if (!strchr(mode, 'w'))
        return fopen(path, mode);
    HANDLE file = open_for_writing_no_links(path);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    int descriptor = -1;
    if (SetEndOfFile(file))
        descriptor = _open_osfhandle((intptr_t)file, strchr(mode, 'b') ? _O_BINARY : _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE *stream = _fdopen(descriptor, mode);
    if (!stream)
        _close(descriptor);  // closes the handle too
    return stream;
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
