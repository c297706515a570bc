#pragma once

#include <string>

// The database part of setup, as PostgreSQL's superuser (peer authentication, in a process
// that runs as the system account postgres): the database kviront, its schema brought up to
// date in one transaction, and the server's address and certificate for "sitting open".
namespace kvserver {

// Says what it did in `said`, one line a step; returns 0 when all is done, 1 otherwise.
int prepareDatabase(const std::string& url, const std::string& certificatePem, std::string& said);

// As the daemon's account: whether its peer login works and its functions may be called.
int checkDaemonLogin(std::string& said);

} // namespace kvserver
