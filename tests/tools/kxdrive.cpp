// kxdrive: plugs and pulls simulated drives in the running Wine prefix.
//   kxdrive plug <letter> <unix-folder>        a removable drive holding that folder
//   kxdrive plug-fixed <letter> <unix-folder>  a fixed disk (a USB disk that says it is fixed)
//   kxdrive empty-slot <letter>                a card reader with no medium (root not listable)
//   kxdrive pull <letter>                      the drive is gone
#include <cstdio>
#include <cstring>

#include "mount_drive.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: kxdrive plug|plug-fixed|empty-slot|pull <letter> [unix-folder]\n");
        return 2;
    }
    const char *command = argv[1];
    char letter = argv[2][0];
    const char *folder = argc > 3 ? argv[3] : nullptr;
    bool ok;
    if (strcmp(command, "plug") == 0 && folder)
        ok = define_simulated_drive(letter, DRIVE_PLUGGED_REMOVABLE, folder);
    else if (strcmp(command, "plug-fixed") == 0 && folder)
        ok = define_simulated_drive(letter, DRIVE_PLUGGED_FIXED, folder);
    else if (strcmp(command, "empty-slot") == 0)
        ok = define_simulated_drive(letter, DRIVE_PLUGGED_REMOVABLE, "/nonexistent/kx-no-medium");
    else if (strcmp(command, "pull") == 0)
        ok = define_simulated_drive(letter, DRIVE_PULLED, nullptr);
    else {
        fprintf(stderr, "kxdrive: unknown command %s\n", command);
        return 2;
    }
    if (!ok)
        fprintf(stderr, "kxdrive: the mount manager refused (%lu)\n", GetLastError());
    return ok ? 0 : 1;
}
