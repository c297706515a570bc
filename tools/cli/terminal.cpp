#include "terminal.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cli {
namespace {

// The terminal's settings while a secret is typed with echo off, put back on every way out:
// a tool stopped by Ctrl+C must not leave the shell typing blind.
termios g_saved;
const int g_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void restoreAndDie(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

class QuietTerminal {
public:
    QuietTerminal() {
        if (::tcgetattr(STDIN_FILENO, &g_saved) != 0)
            return;
        struct sigaction act = {};
        act.sa_handler = restoreAndDie;
        for (int i = 0; i < 4; ++i)
            ::sigaction(g_signals[i], &act, &m_previous[i]);
        termios quiet = g_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL; // the line end shows, so the next output starts a line
        m_quiet = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    ~QuietTerminal() {
        if (m_quiet)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
        for (int i = 0; i < 4; ++i)
            ::sigaction(g_signals[i], &m_previous[i], nullptr);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

private:
    struct sigaction m_previous[4] = {};
    bool m_quiet = false;
};

void show(const QByteArray& text) {
    // The terminal itself, so that a prompt is seen when the output goes to a file.
    int out = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    const bool own = out >= 0;
    if (!own)
        out = STDERR_FILENO;
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t n = ::write(out, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    if (own)
        ::close(out);
}

} // namespace

std::optional<QByteArray> askSecret(const QString& prompt) {
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    // Quiet before the prompt shows: what is typed once it is seen is never echoed.
    const QuietTerminal quiet;
    show(prompt.toUtf8());
    QByteArray line;
    constexpr qsizetype longest = 1024; // no password is longer; more is no typing
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return line.isEmpty() ? std::nullopt : std::optional<QByteArray>(line);
        if (c == '\n')
            return line;
        if (line.size() < longest)
            line += c;
    }
}

} // namespace cli
