#pragma once

// Steps of the test-window tests on a class server: opening a server bank file with a code,
// taking a whole run as the window shows it, waiting for the window to settle, passing the
// client's pauses, stopping a daemon so that it accepts and never answers, what the server holds.
#include "bankfixture.h"
#include "class_server.h"
#include "client_seams.h"
#include "modal_watcher.h"
#include "outbox.h"
#include "run_fixture.h"
#include "skip.h"
#include "testing_seams.h"
#include "traineecode.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/types.h>

namespace fx {

// Nothing of the run is on its way and the window stands still: on a question that waits for
// an answer, or with no run at all.
inline bool settled() {
    return !uozKontrol->waitsForServer() &&
           (answerFieldsEnabled() || menuState() == idle || menuState() == ready);
}

inline void settle() {
    QTRY_VERIFY_WITH_TIMEOUT(settled(), 30000);
}

// "Открыть БД" on a server bank file: the dialog's file, the code typed and the name confirmed
// (or not), then the window settles.
inline void openServerBank(const QString& path, const QString& code, bool confirm = true) {
    dialogs::queueFileAnswer(path);
    traineecode::queueAnswer(code);
    dialogs::queueConfirm(confirm);
    uozKontrol->N8->trigger();
    settle();
}

// The window as the program starts it, its clock at a fixed morning.
inline void freshWindow() {
    resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
    tick(uozKontrol->Timer2);
}

inline void answerAndSettle(int k) {
    clickAnswer(k);
    settle();
}

// What one run showed and said.
struct Taken {
    QStringList shown; // question text and picture size, in the order shown
    QStringList notices;
    QStringList errors;
    QByteArray protocol;
};

// Option clicked per question shown, 0 for letting the time run out; `code` empty for the
// file bank.
inline Taken takeRun(const QString& bank, const QString& code, const QList<int>& clicks) {
    Taken t;
    ModalWatcher watcher;
    if (code.isEmpty())
        openBank(bank);
    else
        openServerBank(bank, code);
    for (int click : clicks) {
        const QSize picture = uozKontrol->DBImage1->picture().size();
        t.shown << uozKontrol->DBMemo1->shownText() +
                       QStringLiteral(" [%1x%2]").arg(picture.width()).arg(picture.height());
        // The right answer is not in the window before the answer is recorded.
        if (!code.isEmpty() && uozKontrol->PrOtvet->text() != QString())
            t.errors << QStringLiteral("PrOtvet before the answer: ") + uozKontrol->PrOtvet->text();
        if (click == 0)
            tick(uozKontrol->Timer3, uozKontrol->Edit4->text().toInt());
        else
            clickAnswer(click);
        settle();
    }
    tick(uozKontrol->Timer1);
    t.notices = watcher.notices;
    t.errors += watcher.errors;
    const QStringList files = protocolFiles();
    if (files.size() == 1) {
        t.protocol = readFile(files[0]);
        QFile::remove(files[0]);
    }
    return t;
}

// Lets every pause of the client that is running pass; the seconds they stood for.
inline int passPauses() {
    int ms = 0;
    for (Delay* d : DelaySeam::running(Delay::Pause))
        ms += d->interval();
    DelaySeam::fireAll(Delay::Pause);
    return ms / 1000;
}

// Waits until the client is in a pause after a failed try, then lets it pass.
inline void passNextPause() {
    QTRY_VERIFY_WITH_TIMEOUT(!DelaySeam::running(Delay::Pause).isEmpty(), 30000);
    passPauses();
}

// The server is back: every pause passes at once until the window stands still again.
inline void settleThroughPauses() {
    QTRY_VERIFY_WITH_TIMEOUT((passPauses(), settled()), 60000);
}

// Every run job has sent all it had to.
inline bool allSent() {
    return DataModule1->classRuns->busyJobs() == 0;
}

// A kviront-server stopped (SIGSTOP) while the object lives: the system still accepts its
// connections, and nothing answers them.
class FrozenDaemon {
public:
    FrozenDaemon(const ClassServer& server, int i) : m_pid(pidOf(server.configFile(i))) {
        if (m_pid > 0)
            ::kill(m_pid, SIGSTOP);
    }
    ~FrozenDaemon() { thaw(); }
    bool ok() const { return m_pid > 0; }
    void thaw() {
        if (m_pid > 0)
            ::kill(m_pid, SIGCONT);
        m_pid = 0;
    }

private:
    // The daemon started with this configuration file.
    static pid_t pidOf(const QString& config) {
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
            if (entry.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
                cmdline.readAll().split('\0').contains(QFile::encodeName(config)))
                return pid_t(entry.toInt());
        }
        return 0;
    }
    pid_t m_pid;
};

// What the server holds of the runs of `trainee`: "record:option …" in the order answered, and
// "ended finished" ("t t") of each run.
inline QString serverAnswers(const ClassServer& server, const QString& trainee) {
    return server.superValue(
        QStringLiteral("SELECT coalesce(string_agg(a.record || ':' || a.option, ' ' ORDER BY "
                       "a.answered_at), '') FROM kviront.answers a JOIN kviront.runs r ON r.id = "
                       "a.run_id WHERE r.trainee = '%1'")
            .arg(trainee));
}

inline QString serverEnds(const ClassServer& server, const QString& trainee) {
    return server.superValue(
        QStringLiteral("SELECT coalesce(string_agg((r.ended_at IS NOT NULL)::text || ' ' || "
                       "r.finished::text, ', '), '') FROM kviront.runs r WHERE r.trainee = '%1'")
            .arg(trainee));
}

// What a test class of the window on a class server shares: the server with its sitting, the
// same questions as a file bank, the program, and a working folder per test function.
class ServerWindowTest : public QObject {
protected:
    void startClass(const ClassServer::Options& options) {
        m_server = std::make_unique<ClassServer>(options);
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        QVector<bankfile::Question> questions = options.questions;
        if (questions.isEmpty()) // the harness's own bank
            for (int n = 1; n <= options.records; ++n)
                questions << fixture::question(n);
        m_file = fixture::makeBank(m_banks, QStringLiteral("файл.mdb"), questions);
        startProgram();
    }
    void endClass() {
        destroyForms();
        m_server.reset();
    }

    std::unique_ptr<ClassServer> m_server;
    QTemporaryDir m_banks;
    QString m_file;
    std::unique_ptr<RunScope> m_dir;
};

} // namespace fx
