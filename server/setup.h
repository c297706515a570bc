#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kvserver {

struct SetupOptions {
    std::vector<std::string> hosts; // names and addresses for the certificate; the first in the URL
    std::string certificate, key;   // the school's own, instead of a self-signed one
    int port = 0;                   // 0: as configured, else 8443
    std::string configPath;
};

// "kviront-server setup": makes this machine a class server (see its man page). Says what it
// did and what the teacher does next; returns the exit code.
int runSetup(const SetupOptions& options, std::ostream& out, std::ostream& err);

} // namespace kvserver
