#include "repair/registry_values.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"

enum { VALUE_BUFFER = 512 };

int read_registry_value(HKEY hive, const char *key_path, const char *value_name, char *out, size_t out_size,
                        int kind)
{
    HKEY key;
    if (RegOpenKeyExA(hive, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    // One spare zero byte: a text stored without its terminator still ends here.
    unsigned char data[VALUE_BUFFER + 1] = {};
    DWORD size = VALUE_BUFFER;
    LONG status = RegQueryValueExA(key, value_name, nullptr, nullptr, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return 0;

    char text[VALUE_BUFFER + 16];
    if (kind == REG_KIND_NUMBER) {
        int32_t number;
        memcpy(&number, data, sizeof number);
        text_format(text, "%d", (int)number);
    } else {
        text_copy(text, (const char *)data);
    }
    // A text that does not fit the caller's buffer is not read, rather than cut.
    if (strlen(text) >= out_size)
        return 0;
    text_copy_n(out, out_size, text);
    return 1;
}

int write_registry_value(HKEY hive, const char *key_path, const char *value_name, const char *wanted, int kind)
{
    char current[VALUE_BUFFER];
    int read_ok = read_registry_value(hive, key_path, value_name, current, sizeof current, kind);
    if (read_ok && strcmp(current, wanted) == 0)
        return REG_WRITE_OK;

    HKEY key;
    LONG status = RegOpenKeyExA(hive, key_path, 0, KEY_WRITE, &key);  // opened, never created
    if (status == ERROR_SUCCESS) {
        if (kind == REG_KIND_NUMBER) {
            DWORD number = (DWORD)atol(wanted);
            status = RegSetValueExA(key, value_name, 0, REG_DWORD, (const BYTE *)&number, sizeof number);
        } else {
            status = RegSetValueExA(key, value_name, 0, REG_SZ, (const BYTE *)wanted, (DWORD)strlen(wanted));
        }
        RegCloseKey(key);
    }
    if (status == ERROR_SUCCESS)
        return REG_WRITE_OK;
    return read_ok ? REG_WRITE_FAILED : REG_WRITE_ABSENT;
}

int delete_registry_value(HKEY hive, const char *key_path, const char *value_name)
{
    HKEY key;
    if (RegOpenKeyExA(hive, key_path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    LONG status = RegDeleteValueA(key, value_name);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
