#include "tests/support/loopbackproxies.h"

#include "tests/support/helperprocess.h"

#include <fstream>
#include <vector>

namespace {
int PortOrFree(int port) {
    return port != 0 ? port : CHelperProcess::FreePort();
}
} // namespace

bool StartTinyproxy(CHelperProcess& process, const std::string& workDir, int port) {
    port = PortOrFree(port);
    const std::string config = workDir + "/tinyproxy.conf";
    {
        std::ofstream out(config, std::ios::trunc);
        out << "Port " << port << "\n"
            << "Listen 127.0.0.1\n"
            << "Allow 127.0.0.1\n"
            << "DisableViaHeader No\n"
            << "Timeout 30\n";
        if (!out)
            return false;
    }
    return process.Start("tinyproxy", {"-d", "-c", config}, port, workDir + "/tinyproxy.log");
}

bool StartMicrosocks(CHelperProcess& process, const std::string& workDir, int port,
                     const std::string& outgoingAddress) {
    port = PortOrFree(port);
    std::vector<std::string> arguments{"-i", "127.0.0.1", "-p", std::to_string(port)};
    if (!outgoingAddress.empty()) {
        arguments.push_back("-b");
        arguments.push_back(outgoingAddress);
    }
    return process.Start("microsocks", arguments, port, workDir + "/microsocks.log");
}
