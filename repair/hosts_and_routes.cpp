#include "repair/hosts_and_routes.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/system_commands.h"
#include "common/bounded_text.h"
#include "log/settings_file.h"

const char DEFAULT_HOSTS_TEXT[] =
    "# Образец файла HOSTS, который использует TCP/IP в Windows.\n"
    "#\n"
    "# В этом файле IP-адресам сопоставляются имена узлов. Каждая запись\n"
    "# занимает отдельную строку: сначала IP-адрес, затем, через пробел\n"
    "# или знак табуляции, имя узла.\n"
    "#\n"
    "# В строки можно вставлять комментарии: комментарий начинается\n"
    "# со знака \"#\" и продолжается до конца строки.\n"
    "#\n"
    "# Например:\n"
    "#\n"
    "#      192.0.2.17       files.example.com       # файловый сервер\n"
    "#      198.51.100.5     mail.example.com        # почтовый сервер\n"
    "#\n"
    "# Имя localhost система распознаёт сама; строка ниже оставлена\n"
    "# для программ, которые ищут его в этом файле.\n"
    "\n"
    "127.0.0.1       localhost\n";

static const char HOSTS_CLEAN[] = "Файл \"hosts\" чист.      \n";
static const char HOSTS_CLEANED[] = "Файл \"hosts\" очищен.     \n";

enum { ROUTE_KEY_COUNT = 10, ROUTE_NAME_SIZE = 512 };

// Size of the default text on disk, where every line end takes two bytes.
static int default_hosts_size()
{
    int size = 0;
    for (const char *p = DEFAULT_HOSTS_TEXT; *p; p++)
        size += *p == '\n' ? 2 : 1;
    return size;
}

// 1 when the file holds exactly the default text with CR LF line ends.
static int holds_default_hosts(const char *path)
{
    FILE *file = open_stream(path, "rb");
    if (!file)
        return 0;
    int same = 1;
    for (const char *p = DEFAULT_HOSTS_TEXT; *p && same; p++) {
        int expected = (unsigned char)*p;
        if (expected == '\n' && fgetc(file) != '\r')
            same = 0;
        else if (fgetc(file) != expected)
            same = 0;
    }
    if (same && fgetc(file) != EOF)
        same = 0;
    fclose(file);
    return same;
}

// Writes the default text with CR LF line ends into a new file; 1 when every byte reached the disk.
static int write_default_hosts(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int written = 1;
    for (const char *line = DEFAULT_HOSTS_TEXT; *line && written;) {  // every line ends with "\n"
        const char *end = strchr(line, '\n');
        DWORD length = (DWORD)(end - line), done = 0, done_end = 0;
        written = WriteFile(file, line, length, &done, nullptr) && done == length &&
                  WriteFile(file, "\r\n", 2, &done_end, nullptr) && done_end == 2;
        line = end + 1;
    }
    written = FlushFileBuffers(file) && written;
    written = CloseHandle(file) && written;
    return written && count_file_bytes(path) == default_hosts_size();
}

// Puts the new file in the place of the hosts file in one step, the old one kept as the backup.
// On failure the hosts file is what it was, attributes included.
static int swap_in_hosts(const char *fresh, const char *hosts, const char *backup)
{
    DWORD attributes = GetFileAttributesA(hosts);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return MoveFileExA(fresh, hosts, MOVEFILE_WRITE_THROUGH);
    SetFileAttributesA(hosts, FILE_ATTRIBUTE_ARCHIVE);  // a read-only file cannot be replaced
    if (ReplaceFileA(hosts, fresh, backup, 0, nullptr, nullptr))
        return 1;
    // This failure leaves the old file under the backup name: it goes back.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileExA(backup, hosts, MOVEFILE_WRITE_THROUGH);
    SetFileAttributesA(hosts, attributes);
    return 0;
}

// The hosts file is replaced whole or left as it is: the text goes into a new file beside it first.
static int replace_hosts(const char *hosts)
{
    char fresh[TEXT_SIZE], backup[TEXT_SIZE];
    if (!text_format(fresh, "%s.kestrix.new", hosts) || !text_format(backup, "%s.kestrix.bak", hosts))
        return 0;
    if (write_default_hosts(fresh) && swap_in_hosts(fresh, hosts, backup))
        return 1;
    DeleteFileA(fresh);
    return 0;
}

// Deletes every value of one route key, counting what went and what stayed.
static void clear_route_key(const char *key_path, int *deleted, int *failed)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    // A deleted value moves the following ones down, so the index only moves past failures.
    DWORD index = 0;
    for (;;) {
        char name[ROUTE_NAME_SIZE];
        DWORD name_size = sizeof name;
        LONG status = RegEnumValueA(key, index, name, &name_size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS && RegDeleteValueA(key, name) == ERROR_SUCCESS) {
            (*deleted)++;
            continue;
        }
        (*failed)++;
        index++;
    }
    RegCloseKey(key);
}

// The current control set first, then the numbered sets 1 to 9.
static void clear_persistent_routes(int *deleted, int *failed)
{
    for (int order = 0; order < ROUTE_KEY_COUNT; order++) {
        char key_path[TEXT_SIZE];
        if (order == 0)
            text_copy(key_path, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\PersistentRoutes");
        else
            text_format(key_path, "SYSTEM\\ControlSet00%d\\Services\\Tcpip\\Parameters\\PersistentRoutes", order);
        clear_route_key(key_path, deleted, failed);
    }
}

int reset_hosts_and_routes()
{
    char path[TEXT_SIZE];
    if (!app.system_dir[0] || !text_format(path, "%s\\drivers\\etc\\hosts", app.system_dir))
        return 0;
    // Judged before the rewrite: afterwards every file would look clean.
    int was_clean = path_exists(path) && holds_default_hosts(path);
    if (!replace_hosts(path))
        return 0;
    const char *hosts_line = was_clean ? HOSTS_CLEAN : HOSTS_CLEANED;

    int deleted = 0, failed = 0;
    clear_persistent_routes(&deleted, &failed);

    char message[TEXT_SIZE];
    if (deleted + failed != 0)
        text_format(message, "%s\nНайдено значений в реестре: %d.   \nУдалено: %d.\nНе удалось удалить: %d.     \n",
                    hosts_line, deleted + failed, deleted, failed);
    else
        text_format(message, "%s\nЛишние IP-адреса в реестре не найдены...    \n", hosts_line);
    show_result(message, " ");
    return 1;
}
