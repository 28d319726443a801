// The per-user policy that stops autorun from removable drives.
#pragma once

// "get", "set_145" or "set_149"; see autorun_policy.cpp.
int autorun_policy(const char *operation);
