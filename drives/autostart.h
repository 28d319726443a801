// The program's shortcut in the user's Startup folder.
#pragma once

// on = 1 creates the shortcut, on = 0 deletes it; 1 when that was done, else 0.
int set_autostart(int on);
