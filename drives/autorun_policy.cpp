#include "drives/autorun_policy.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "repair/registry_values.h"

static const char POLICY_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
static const char POLICY_VALUE[] = "NoDriveTypeAutoRun";
static const int REMOVABLE_BIT = 0x04;  // bit n stands for drive type n; DRIVE_REMOVABLE is 2

static int write_policy(int value)
{
    char text[16];
    text_format(text, "%d", value);
    // Only a value that was really stored counts: a result of 2 means nothing was
    // written (the key is missing), and the menu must not show a check mark for it.
    return write_registry_value(HKEY_CURRENT_USER, POLICY_KEY, POLICY_VALUE, text, REG_KIND_NUMBER) == REG_WRITE_OK;
}

int autorun_policy(const char *operation)
{
    char text[512];
    int current = 145;
    if (read_registry_value(HKEY_CURRENT_USER, POLICY_KEY, POLICY_VALUE, text, sizeof text, REG_KIND_NUMBER))
        current = atoi(text);
    else
        write_policy(145);

    int blocked = (current & REMOVABLE_BIT) != 0;
    if (strcmp(operation, "get") == 0)
        return blocked;
    if (strcmp(operation, "set_145") == 0)
        return !blocked ? 1 : write_policy(current - REMOVABLE_BIT);
    if (strcmp(operation, "set_149") == 0)
        return blocked ? 1 : write_policy(current + REMOVABLE_BIT);
    return 0;
}
