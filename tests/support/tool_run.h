#pragma once

// A program run as a teacher runs it from a script, with no terminal: its exit code (-1 when it
// crashed or was killed), what it printed and how long it took.
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

namespace toolrun {

struct Result {
    int code = -1;
    QString out, err;
    qint64 ms = 0;
};

// Waits for a started program, killed after `timeoutMs`; the clock is the caller's.
inline Result finish(QProcess& p, const QElapsedTimer& clock, int timeoutMs = 120000) {
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()), clock.elapsed()};
}

inline void start(QProcess& p, const QString& program, const QStringList& args,
                  const QString& folder = QString(),
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    p.setWorkingDirectory(folder);
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.closeWriteChannel(); // no terminal: nobody to ask
}

inline Result run(const QString& program, const QStringList& args,
                  const QString& folder = QString(),
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    start(p, program, args, folder, env);
    return finish(p, clock);
}

} // namespace toolrun
