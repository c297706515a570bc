#pragma once

#include "bankfile.h"
#include "pgcluster.h"
#include "sitting.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

// A class server for a test, as a school runs one: a throwaway cluster with the schema made by
// the teacher tool, the daemon's role `kviront` (given a password here: the tests have no
// peer login), a bank published and a sitting opened through the teacher tool's own code with
// named and unnamed codes, a certificate for 127.0.0.1, and 1…N real `kviront-server`
// processes on free ports of 127.0.0.1, each ready (its health answered) before the
// constructor returns. The daemons quit with the test process.
class ClassServer {
public:
    struct Options {
        int servers = 1;
        // The published bank; empty: `records` questions of the fixture (right answer 1 + n % 4).
        QVector<bankfile::Question> questions;
        int records = 5;
        QString bank = QStringLiteral("Сервер класса");
        QString sitting = QStringLiteral("Тест класса");
        QStringList trainees{QStringLiteral("Иванов Иван"), QStringLiteral("Петрова Анна"),
                             QStringLiteral("Сидоров Пётр")};
        int unnamedCodes = 2;
        int seconds = 35;
        QChar separator = QLatin1Char(',');
        int grace = 5;
        // The sitting's rules.
        classapi::Grades grades;
        bool ownOrder = false, hideAnswers = false, showGrade = false;
        // More "key = value" lines for every daemon's configuration (limits, timeouts).
        QStringList config;
        PgCluster::Options cluster;
    };

    static constexpr const char* teacherPassword = "teacher pw";
    static constexpr const char* daemonPassword = "kviront daemon pw";

    ClassServer();
    explicit ClassServer(const Options& options);
    ~ClassServer();

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // The daemons.
    int servers() const { return int(m_daemons.size()); }
    int port(int i = 0) const { return m_daemons[std::size_t(i)].port; }
    QString url(int i = 0) const { return QStringLiteral("https://127.0.0.1:%1").arg(port(i)); }
    bool running(int i = 0) const;
    void kill(int i = 0);            // SIGKILL, waited for
    bool start(int i = 0);           // again on its port, waited for until ready
    int stop(int i = 0);             // SIGTERM; the exit code, -1 if it did not exit in 30 s
    QByteArray log(int i = 0) const; // what it wrote to standard error
    qint64 pid(int i = 0) const {    // 0 when it is not running
        return running(i) ? m_daemons[std::size_t(i)].process->processId() : 0;
    }
    QString configFile(int i = 0) const { return m_daemons[std::size_t(i)].config; }

    // The sitting: its name, the server bank file (second format) for server i, its codes, the
    // named ones first, as stored (upper case, no dashes), and the key to its class page.
    QString sitting() const { return m_options.sitting; }
    QString bankFile(int i = 0) const;
    const QList<serversitting::Code>& codes() const { return m_opened.codes; }
    QStringList namedCodes() const { return codesNamed(true); }
    QStringList unnamedCodes() const { return codesNamed(false); }
    const serversitting::Opened& opened() const { return m_opened; }
    QString teacherKey() const { return m_opened.teacherKey; }
    // Opens another sitting of the same bank through the teacher tool's code, with the options
    // `adjust` changes.
    serversitting::Opened
    openSitting(const QString& name, const QStringList& trainees, int unnamed,
                const std::function<void(serversitting::OpenOptions&)>& adjust = {});

    // The certificate the daemons present (PEM) and its file.
    const QByteArray& certificate() const { return m_certificate; }
    QString certificateFile() const { return m_dir.filePath(QStringLiteral("server.crt")); }

    QString teacher() const; // the teacher's connection string
    QString superConninfo() const { return cluster.superConninfo(); }
    // Superuser SQL for checks: the error text ("" on success), or the first cell's text.
    QString superSql(const QString& sql) const { return cluster.superSql(sql); }
    QString superValue(const QString& sql) const;

    PgCluster cluster;

private:
    struct Daemon {
        std::unique_ptr<QProcess> process;
        int port = 0;
        QString config, log;
    };
    bool prepare();
    QStringList codesNamed(bool named) const;
    bool writeConfig(int i, int port);
    bool launch(int i);
    bool signal(int i, int number); // sent, the daemon waited for: whether it exited

    Options m_options;
    QTemporaryDir m_dir;
    QString m_error;
    QByteArray m_certificate;
    std::vector<Daemon> m_daemons;
    serversitting::Opened m_opened;
};
