#pragma once

#include "journal.h"

#include <QObject>
#include <QVector>

class RunJob;
namespace serverbank {
struct SittingLink;
}
namespace classclient {
class ClassServer;
}

// What the program sends to class servers, living as long as the program: the journal and
// every run job, the window's and those that send what an earlier start of the program left in
// the journal. A window asks it for a job and lets go of the job when it is done with it; the
// job stays here until the server has everything.
class Outbox : public QObject {
    Q_OBJECT
public:
    // How long the program's end waits for what is being sent.
    static constexpr int lastTryMs = 3000;
    // A run left by a crash with nothing to send is kept this long for its trainee to go on
    // with it.
    static constexpr qint64 keepIdleRunsSeconds = 30 * 24 * 3600;

    explicit Outbox(const QString& journalFolder = classjournal::defaultFolder(),
                    QObject* parent = nullptr);
    // What is still unsent stays in the journal for the next start.
    ~Outbox() override;

    classjournal::Journal& journal() { return m_journal; }

    // A job for a new run on the sitting the file names, owned here.
    RunJob* newRun(const serverbank::SittingLink& link);
    // Sends what the journal holds, each run's entries in order, without asking anyone: at
    // start-up and whenever a server bank is opened. Jobs waiting for a pause try at once.
    void sendJournal();
    // The program ends: what waits is sent once more, and what is in flight is given at most
    // `ms` to arrive; the rest stays in the journal.
    void lastTry(int ms = lastTryMs);
    // Jobs that still have something to send.
    int busyJobs() const;

private:
    classclient::ClassServer* server(const QString& url, const QByteArray& certificate);

    classjournal::Journal m_journal;
    QVector<classclient::ClassServer*> m_servers;
};
