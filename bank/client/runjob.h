#pragma once

#include "classcall.h"
#include "journal.h"
#include "replies.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

class Delay;

// One test run on the class server, as a job: each request is started by a call that returns at
// once, and its end comes by a signal; the window connects to the signals and shows state,
// never waiting on a socket. Requests go out one at a time in the order given, so a run's end
// follows its answers. An answer and the end are written to the journal before they are sent
// and taken out once the server has them.
//
// A passing trouble (no connection, a late reply, a busy server) is waited out: the request is
// sent again after a pause that grows, as long as the job lives, whether or not anyone looks.
// A final refusal ends the request with its reason; a refused answer or end moves to the
// journal's refused file.
//
// The job belongs to the outbox, not to the window: when the window lets go of it, it sends
// what is left and then goes.
class RunJob : public QObject {
    Q_OBJECT
public:
    // A trouble lasts once this many tries in a row have failed or its pauses add up to this
    // long: then the window tells the trainee; before, it shows only in its status line.
    static constexpr int quietTries = 3;
    static constexpr int quietMs = 10000;
    // The pause before the next try after `failedTries` failed ones: 1, 2, 4, 8, then every 10
    // seconds, so a class whose server comes back is not all at its door in the same second.
    static int pauseMs(int failedTries);

    // A run to be started on `sitting`.
    RunJob(classclient::ClassServer* server, const QString& sitting, classjournal::Journal* journal,
           QObject* parent);
    // A run of the journal, whose answers and end are to be sent.
    RunJob(classclient::ClassServer* server, const classjournal::RunEntry& entry,
           classjournal::Journal* journal, QObject* parent);

    QString serverName() const { return m_server->name(); }
    const QString& token() const { return m_run.token; }
    const classclient::RunInfo& run() const { return m_run; }

    // Starts (or takes up again) the run of the trainee whose code this is; `trainee` is the
    // name signed in, which the server uses for a code without a name on the class list.
    void start(const QString& code, const QString& trainee, const QString& host);
    // What the journal holds of this run from an earlier start on this computer.
    std::optional<classjournal::RunEntry> kept() const;
    // The run enters the journal with what it needs to go on after a crash; from now on every
    // answer and the end are journaled before they are sent.
    void keep(const QVector<int>& order, const QString& headerLine, const QString& startClock);
    void fetchQuestion(int record);
    void sendAnswer(int record, int option, double seconds);
    void finish(bool completed);
    // The window lets go: a start or a question not yet answered is dropped, answers and the end
    // go on being sent, and the job deletes itself once nothing is left.
    void release();
    // What waits for its pause is sent now (the program's last try before it ends).
    void hurry();
    bool sending() const { return !m_call.isNull(); }
    bool busy() const { return sending() || !m_queue.isEmpty(); }

signals:
    void started(const classclient::RunInfo& run);
    void questionReady(const classclient::Question& question);
    void answerRecorded(const classclient::RecordedAnswer& answer);
    void finished(bool completed);
    // A passing trouble: the request goes again after its pause. `lasting`: long enough to
    // tell the trainee.
    void waiting(bool lasting, const QString& reason);
    // A final refusal of the request at the head of the queue.
    void failed(const QString& reason);
    // The journal could not be written: the answer is kept in memory only.
    void journalFailed(const QString& message);
    void drained(); // nothing left to send

private:
    struct Op {
        enum Kind { Start, Question, Answer, Finish } kind;
        int record = 0;
        int option = 0;
        double seconds = 0;
        bool completed = false;
        bool internal = false;  // a question handed out again for an answer, not for the window
        bool handedOut = false; // that was done already
    };

    void enqueue(const Op& op);
    void next();
    void handle(const classclient::CallResult& result);
    void succeeded(const Op& op, const classclient::CallResult& result);
    void refused(const Op& op, const QString& reason);
    template <class Write> void journal(Write write);
    QString refusal(const QString& reason) const;

    classclient::ClassServer* m_server;
    classjournal::Journal* m_journal;
    QString m_sitting;
    QString m_code, m_trainee, m_host;
    classclient::RunInfo m_run;
    bool m_kept = false; // the run is in the journal
    bool m_released = false;
    QList<Op> m_queue;
    QPointer<classclient::Call> m_call;
    Delay* m_pause;
    int m_failedTries = 0;
    int m_pausedMs = 0; // since the last reply
};
