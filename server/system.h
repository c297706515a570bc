#pragma once

#include <functional>
#include <string>
#include <vector>

// What setup needs of the machine, in plain POSIX: programs run and waited for, work done in a
// child process under another account (peer authentication knows the database's users by
// their system account), files written whole with their owner and mode, the machine's names.
namespace kvserver {

struct ProgramResult {
    int code = -1;      // the exit code; -1 when it could not run or was killed
    std::string output; // standard output and error, at most 64 KiB
};

// Runs a program found on the PATH and waits for it (at most two minutes).
ProgramResult runProgram(const std::vector<std::string>& argv);

// Runs `work` in a child process as the system account `user`; what it writes to its string
// comes back in `output`. Returns its exit code (-1 when the account is unknown or the child
// failed to become it).
int asUser(const std::string& user, const std::function<int(std::string& output)>& work,
           std::string& output);

// Whether the account exists; its ids in uid and gid.
bool accountOf(const std::string& user, unsigned* uid, unsigned* gid);

// Writes a file whole (a temporary file beside it, synced, renamed), owned by root and the
// group `group`, with `mode`. Throws std::runtime_error with a Russian message.
void writeFileWhole(const std::string& path, const std::string& content, unsigned mode,
                    const std::string& group = "root");
// A file's text; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string* content, std::size_t limit = 1 << 20);

// Names this machine is reached by: its host name and its addresses but loopback.
std::vector<std::string> machineNames();

bool systemdRunning();

} // namespace kvserver
