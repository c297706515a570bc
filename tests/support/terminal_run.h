#pragma once

// Runs a program as a person at a terminal runs it: a pseudo-terminal is its controlling
// terminal, standard input and output, so that it may ask for a password there. What it shows
// is read back; `typed` is typed once `prompt` has shown. Bounded: after `timeoutMs` the
// program is killed and the result's code is -1.
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
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (clock.elapsed() > timeoutMs)
            break;
        if (::poll(&fd, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // the program closed the terminal: it has ended
        r.screen.append(buffer, n);
        if (!sent && r.screen.contains(prompt)) {
            sent = ::write(master, typed.constData(), size_t(typed.size())) == typed.size();
        }
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (clock.elapsed() > timeoutMs) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ::close(master);
            return r;
        }
        ::usleep(10000);
    }
    ::close(master);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace terminalrun
