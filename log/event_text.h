// Event lines as text: "HH:MM:SS", three spaces, the event text.
#pragma once
#include <cstddef>

// Splits an event line into its time part and text part at the separator spaces.
// 0 when the line is empty or has no three consecutive spaces, and when a part
// had to be cut to fit its buffer.
int split_event_line(const char *line, char *time_part, size_t time_size, char *text_part, size_t text_size);
