#include "outbox.h"

#include "classcall.h"
#include "runjob.h"
#include "serverbankfile.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

Outbox::Outbox(const QString& journalFolder, QObject* parent)
    : QObject(parent), m_journal(journalFolder) {
    // Not in the constructor's own time: start-up goes on, and the sending follows.
    QTimer::singleShot(0, this, [this] { sendJournal(); });
}

Outbox::~Outbox() {
    // Calls in flight are dropped with their jobs; the journal keeps what they carried.
    for (RunJob* job : findChildren<RunJob*>(Qt::FindDirectChildrenOnly))
        delete job;
}

classclient::ClassServer* Outbox::server(const QString& url, const QByteArray& certificate) {
    for (classclient::ClassServer* s : m_servers)
        if (s->url() == url && s->certificatePem() == certificate)
            return s;
    // One connection pool per address and certificate: a connection checked against one pinned
    // certificate never carries a call meant for another.
    m_servers.append(new classclient::ClassServer(url, certificate, this));
    return m_servers.last();
}

RunJob* Outbox::newRun(const serverbank::SittingLink& link) {
    return new RunJob(server(link.server, link.certificate), link.sitting, &m_journal, this);
}

void Outbox::sendJournal() {
    QVector<classjournal::RunEntry> runs;
    try {
        m_journal.prune(QDateTime::currentSecsSinceEpoch(), keepIdleRunsSeconds);
        runs = m_journal.runs();
    } catch (const Error&) {
        return; // a journal that cannot be read holds nothing this program can send
    }
    const QList<RunJob*> jobs = findChildren<RunJob*>(Qt::FindDirectChildrenOnly);
    for (const classjournal::RunEntry& entry : runs) {
        if (entry.answers.isEmpty() && !entry.end)
            continue;
        bool sending = false;
        for (RunJob* job : jobs)
            if (job->token() == entry.token) {
                job->hurry();
                sending = true;
            }
        if (!sending)
            new RunJob(server(entry.server, entry.certificate), entry, &m_journal, this);
    }
}

int Outbox::busyJobs() const {
    int busy = 0;
    for (const RunJob* job : findChildren<RunJob*>(Qt::FindDirectChildrenOnly))
        busy += job->busy() ? 1 : 0;
    return busy;
}

void Outbox::lastTry(int ms) {
    const QList<RunJob*> jobs = findChildren<RunJob*>(Qt::FindDirectChildrenOnly);
    for (RunJob* job : jobs)
        job->hurry();
    auto sending = [this] {
        for (const RunJob* job : findChildren<RunJob*>(Qt::FindDirectChildrenOnly))
            if (job->sending())
                return true;
        return false;
    };
    if (!sending())
        return;
    // A bounded wait at the very end, after the windows have gone: nothing is left to repaint.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!sending())
            loop.quit();
    });
    deadline.start(ms);
    poll.start(10);
    loop.exec();
}
