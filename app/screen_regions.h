// The painted buttons and bottom-bar labels: which one is under the pointer, and clicks.
#pragma once

// Region under (x, y) in client pixels, 0 for none; (0, 0) means no new position.
// Sets hint_text and hover_rect for a hit.
int hit_test(int x, int y);

// Carries out a click on a region; 0 when nothing was done (no region, or busy).
int click_region(int region);

// Starts the system restore tool, the way this Windows version keeps it.
void open_system_restore();
