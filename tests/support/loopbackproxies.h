#pragma once

#include <string>

class CHelperProcess;

// The real proxy programs the fetch tests go through, each on 127.0.0.1 at `port` (0: a free
// port is picked). Their configuration and output go to `workDir`. False when the program did
// not start; check CHelperProcess::IsInstalled first to tell a missing program apart.

// tinyproxy as HTTP proxy, allowing 127.0.0.1 and adding a Via header to what it forwards.
bool StartTinyproxy(CHelperProcess& process, const std::string& workDir, int port = 0);

// microsocks as SOCKS5 proxy. With `outgoingAddress` (e.g. "127.0.0.2") its connections to
// servers leave from that address, so a server can tell them from direct ones.
bool StartMicrosocks(CHelperProcess& process, const std::string& workDir, int port = 0,
                     const std::string& outgoingAddress = "");
