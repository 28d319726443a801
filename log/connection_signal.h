// The connection signal: while a newly connected flash drive stays, a short sound
// and a strip flashed at the right edge of the screen every two seconds.
#pragma once

// One tick of the one-second watch timer. Returns 1 when it sounded and drew the strip.
int signal_tick();
// Draws the strip with the next picture (show 1) or wipes it (show 0).
// Returns 1 when it drew or wiped, 0 when it did nothing.
int title_strip(int show);

// State kept for the whole run.
extern int signal_counter;  // calls of signal_tick; only every second call acts
extern int strip_phase;     // turned before each drawing, which then shows red at 1, grey at 0
extern int strip_erased;    // 1 once the strip is wiped and nothing has been drawn since

// Forgets the strip pictures, so that the next drawing loads them again from app.instance.
void unload_strip_pictures();
