// Puts back registry values that autorun malware commonly changes.
#pragma once

// The basic rows on every call; the extended rows, their log line and result box
// only while the user's manual check runs (app.manual_scan). Returns 1.
int repair_registry();
