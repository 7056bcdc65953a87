#pragma once

#include <string>

// Where the local DDE substitute keeps one Unix socket per registered service name.

// The socket directory: $WAYFOLD_DDE_DIR when set, else $XDG_RUNTIME_DIR/wayfold-dde, else
// /tmp/wayfold-dde-<uid>. Only computes the path; nothing is created.
std::string DdeSocketDirectory();

// Creates the directory with mode 0700 when it is missing, then checks it: it must be a
// directory owned by this user that neither group nor others may enter. Returns false with a
// reason in `why` when the directory cannot be made or is refused.
bool PrepareDdeDirectory(const std::string& dir, std::string& why);

// The socket path of a service inside the directory: the service name in lower case.
std::string DdeSocketPath(const std::string& dir, const std::string& service);
