#include "repair/registry_repair.h"

#include <windows.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/system_commands.h"
#include "common/bounded_text.h"
#include "log/event_log.h"
#include "repair/registry_values.h"

static const char WINLOGON[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
static const char ADVANCED[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
static const char SHOWALL[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
static const char CONTROL[] = "SYSTEM\\CurrentControlSet\\Control";
static const char NT_WINDOWS[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
static const char POLICIES_SYSTEM[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
static const char POLICIES_EXPLORER[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
static const char USER_POLICIES_EXPLORER[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
static const char SYSTEM_RESTORE[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
static const char EXE_OPEN_COMMAND[] = "exefile\\shell\\open\\command";
static const char USER_RUN[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char IMAGE_OPTIONS_KEYS[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";

static const char *const HIJACKED_TOOLS[] = {"explorer.exe", "reg.exe",    "cmd.exe",     "regedit.exe",
                                            "services.msc", "rstrui.exe", "taskmgr.exe", "kestrix.exe"};

struct RepairRow {
    HKEY hive;
    const char *key;
    const char *name;
    const char *value;
    int kind;
};

// Values written on every scan, after the logon program (whose value is computed).
static const RepairRow BASIC_ROWS[] = {
    {HKEY_LOCAL_MACHINE, WINLOGON, "Shell", "Explorer.exe", REG_KIND_TEXT},
    {HKEY_LOCAL_MACHINE, WINLOGON, "UIHost", "logonui.exe", REG_KIND_TEXT},
    {HKEY_CURRENT_USER, ADVANCED, "Hidden", "1", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, SHOWALL, "CheckedValue", "1", REG_KIND_NUMBER},
};

// Values written only during the manual check, before the Run entry (whose value is computed).
static const RepairRow EXTENDED_ROWS[] = {
    {HKEY_LOCAL_MACHINE, NT_WINDOWS, "AppInit_DLLs", "", REG_KIND_TEXT},
    {HKEY_LOCAL_MACHINE, POLICIES_SYSTEM, "DisableRegedit", "0", REG_KIND_NUMBER},
    {HKEY_LOCAL_MACHINE, POLICIES_SYSTEM, "DisableRegistryTools", "0", REG_KIND_NUMBER},
    {HKEY_LOCAL_MACHINE, POLICIES_SYSTEM, "DisableTaskMgr", "0", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, POLICIES_SYSTEM, "DisableRegedit", "0", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, POLICIES_SYSTEM, "DisableRegistryTools", "0", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, POLICIES_SYSTEM, "DisableTaskMgr", "0", REG_KIND_NUMBER},
    {HKEY_LOCAL_MACHINE, POLICIES_EXPLORER, "NoFolderOptions", "0", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, POLICIES_EXPLORER, "NoFolderOptions", "0", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, POLICIES_SYSTEM, "NoDispBackgroundPage", "0", REG_KIND_NUMBER},
    {HKEY_CURRENT_USER, POLICIES_SYSTEM, "NoDispScrSavPage", "0", REG_KIND_NUMBER},
    {HKEY_LOCAL_MACHINE, SYSTEM_RESTORE, "DisableSR", "0", REG_KIND_NUMBER},
    {HKEY_CLASSES_ROOT, EXE_OPEN_COMMAND, "", "\"%1\" %*", REG_KIND_TEXT},
};

// Writes one value; 1 when it exists with other data and could not be replaced.
static int inaccessible(HKEY hive, const char *key, const char *name, const char *value, int kind)
{
    return write_registry_value(hive, key, name, value, kind) == REG_WRITE_FAILED;
}

static int apply_rows(const RepairRow *rows, size_t count)
{
    int failures = 0;
    for (size_t i = 0; i < count; i++)
        failures += inaccessible(rows[i].hive, rows[i].key, rows[i].name, rows[i].value, rows[i].kind);
    return failures;
}

// A service timeout outside 1..30000 ms (or unreadable) is set back to 7000.
static int repair_service_timeout()
{
    char text[512] = "";
    read_registry_value(HKEY_LOCAL_MACHINE, CONTROL, "WaitToKillServiceTimeout", text, sizeof text, REG_KIND_TEXT);
    long timeout = atol(text);
    if (timeout >= 1 && timeout <= 30000)
        return 0;
    return inaccessible(HKEY_LOCAL_MACHINE, CONTROL, "WaitToKillServiceTimeout", "7000", REG_KIND_TEXT);
}

static int repair_basic_rows()
{
    int failures = inaccessible(HKEY_LOCAL_MACHINE, WINLOGON, "Userinit", app.userinit_default, REG_KIND_TEXT);
    failures += apply_rows(BASIC_ROWS, sizeof BASIC_ROWS / sizeof BASIC_ROWS[0]);
    return failures + repair_service_timeout();
}

// Debugger entries that hijack system tools (and this program) are removed; the rest of an
// image's key stays, its exploit-protection settings among them.
static void delete_debugger_values()
{
    for (const char *tool : HIJACKED_TOOLS) {
        char key[512];
        if (text_format(key, "%s%s", IMAGE_OPTIONS_KEYS, tool))
            delete_registry_value(HKEY_LOCAL_MACHINE, key, "Debugger");
    }
}

static int repair_extended_rows()
{
    int failures = apply_rows(EXTENDED_ROWS, sizeof EXTENDED_ROWS / sizeof EXTENDED_ROWS[0]);
    char ctfmon[512];
    if (text_format(ctfmon, "%s\\ctfmon.exe", app.system_dir))
        failures += inaccessible(HKEY_CURRENT_USER, USER_RUN, "CTFMON.EXE", ctfmon, REG_KIND_TEXT);
    delete_debugger_values();
    // Run restrictions are written harmless first, then removed.
    write_registry_value(HKEY_CURRENT_USER, USER_POLICIES_EXPLORER, "RestrictRun", "0", REG_KIND_NUMBER);
    write_registry_value(HKEY_CURRENT_USER, USER_POLICIES_EXPLORER, "DisallowRun", "0", REG_KIND_NUMBER);
    failures += !delete_registry_value(HKEY_CURRENT_USER, USER_POLICIES_EXPLORER, "RestrictRun");
    failures += !delete_registry_value(HKEY_CURRENT_USER, USER_POLICIES_EXPLORER, "DisallowRun");
    return failures;
}

int repair_registry()
{
    int failures = repair_basic_rows();
    if (!app.manual_scan)
        return 1;
    failures += repair_extended_rows();

    // Not app.scratch: the calling scan still holds its summary there.
    char message[512];
    text_format(message, "Чистка реестра после вируса. Недоступных ключей: %d.", failures);
    log_event(message);
    show_result("Чистка реестра завершена.     \nЕсли следы вируса остались  -     \nперезагрузите компьютер:      \n"
                "CTRL + ALT + стрелка ВПРАВО.           ",
                " ");
    return 1;
}
