// Read, write (compare first) and delete one registry value.
#pragma once
#include <windows.h>

enum RegistryKind { REG_KIND_TEXT = 0, REG_KIND_NUMBER = 1 };

// Write results.
enum { REG_WRITE_FAILED = 0, REG_WRITE_OK = 1, REG_WRITE_ABSENT = 2 };

int read_registry_value(HKEY hive, const char *key_path, const char *value_name, char *out, size_t out_size,
                        int kind);
int write_registry_value(HKEY hive, const char *key_path, const char *value_name, const char *wanted, int kind);
int delete_registry_value(HKEY hive, const char *key_path, const char *value_name);
