#pragma once

// Runs a program on a pseudo-terminal, as at a person's terminal (where it may ask for a
// password): `typed` is typed once `prompt` shows; killed after `timeoutMs` (code -1).
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace terminalrun {

struct Result {
    int code = -1; // the exit code; -1 when killed or not started
    QByteArray screen;
};

inline Result run(const QString& program, const QStringList& args, const QByteArray& prompt,
                  const QByteArray& typed, int timeoutMs = 60000) {
    // Everything the child needs is made before fork: after it, only system calls.
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& a : args)
        words.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Result r;
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child < 0)
        return r;
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    QElapsedTimer clock;
    clock.start();
    bool sent = typed.isEmpty();
    while (clock.elapsed() <= timeoutMs) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // the program closed the terminal: it has ended
        r.screen.append(buffer, n);
        if (!sent && r.screen.contains(prompt))
            sent = ::write(master, typed.constData(), size_t(typed.size())) == typed.size();
    }
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && clock.elapsed() <= timeoutMs)
        ::usleep(10000);
    if (ended == 0) { // killed: the code stays -1
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    } else if (WIFEXITED(status)) {
        r.code = WEXITSTATUS(status);
    }
    ::close(master);
    return r;
}

} // namespace terminalrun
