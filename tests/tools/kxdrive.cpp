// kxdrive: plugs and pulls simulated drives in the running Wine prefix.
//   kxdrive plug <letter> <unix-folder>        a removable drive holding that folder
//   kxdrive plug-fixed <letter> <unix-folder>  a fixed disk (a USB disk that says it is fixed)
//   kxdrive empty-slot <letter>                a card reader with no medium (root not listable)
//   kxdrive pull <letter>                      the drive is gone
//   kxdrive flap <letter> <unix-folder> <s>    plug and pull it again and again for that many seconds,
//                                              holding each state for times spread from 2 ms to 1.6 s
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mount_drive.h"

// A removable drive that comes and goes, so that its changes fall at every point of a watch
// cycle, inside passes too. Prints how often it was plugged; 1 when the mount manager refused.
static int flap(char letter, const char *folder, int seconds)
{
    static const DWORD plugged_ms[] = {3, 8, 15, 25, 40, 60, 90, 130, 200, 400, 800, 1600};
    static const DWORD pulled_ms[] = {2, 5, 11, 19, 35, 70, 150, 300};
    DWORD start = GetTickCount();
    int plugs = 0;
    for (int i = 0; GetTickCount() - start < (DWORD)seconds * 1000; i++) {
        if (!define_simulated_drive(letter, DRIVE_PLUGGED_REMOVABLE, folder))
            return 1;
        plugs++;
        Sleep(plugged_ms[i % 12]);
        if (!define_simulated_drive(letter, DRIVE_PULLED, nullptr))
            return 1;
        Sleep(pulled_ms[i % 8]);
    }
    printf("%d\n", plugs);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: kxdrive plug|plug-fixed|empty-slot|pull|flap <letter> [unix-folder] [seconds]\n");
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
    else if (strcmp(command, "flap") == 0 && folder && argc > 4)
        ok = flap(letter, folder, atoi(argv[4])) == 0;
    else {
        fprintf(stderr, "kxdrive: unknown command %s\n", command);
        return 2;
    }
    if (!ok)
        fprintf(stderr, "kxdrive: the mount manager refused (%lu)\n", GetLastError());
    return ok ? 0 : 1;
}
