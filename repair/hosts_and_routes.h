// Rewriting the hosts file and deleting the persistent IP routes.
#pragma once

// The hosts text the program writes, with "\n" line ends (stored as CR LF).
extern const char DEFAULT_HOSTS_TEXT[];

// Rewrites the hosts file, deletes every persistent route and shows the outcome.
// 0 when the hosts file could not be rewritten (the routes are then left alone), else 1.
int reset_hosts_and_routes();
