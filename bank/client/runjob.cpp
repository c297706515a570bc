#include "runjob.h"

#include "classapi.h"
#include "delay.h"

#include <QMetaObject>

using namespace classclient;

namespace {

QString keyName(std::string_view key) {
    return QString::fromLatin1(key.data(), qsizetype(key.size()));
}

} // namespace

int RunJob::pauseMs(int failedTries) {
    return failedTries >= 5 ? 10000 : 1000 << qMax(0, failedTries - 1);
}

RunJob::RunJob(ClassServer* server, const QString& sitting, classjournal::Journal* journal,
               QObject* parent)
    : QObject(parent), m_server(server), m_journal(journal), m_sitting(sitting),
      m_pause(new Delay(this, Delay::Pause, [this] { next(); })) {}

RunJob::RunJob(ClassServer* server, const classjournal::RunEntry& entry,
               classjournal::Journal* journal, QObject* parent)
    : RunJob(server, entry.sitting, journal, parent) {
    m_run.token = entry.token;
    m_run.records = entry.records;
    m_kept = true;
    m_released = true; // no window waits for it
    for (const classjournal::PendingAnswer& a : entry.answers)
        m_queue.append({Op::Answer, a.record, a.option, a.seconds});
    if (entry.end)
        m_queue.append({Op::Finish, 0, 0, 0, *entry.end});
    QMetaObject::invokeMethod(
        this, [this] { next(); }, Qt::QueuedConnection);
}

template <class Write> void RunJob::journal(Write write) {
    if (!m_kept)
        return;
    try {
        write(*m_journal);
    } catch (const Error& e) {
        // Told by a queued signal, like everything else the job says.
        QMetaObject::invokeMethod(
            this, [this, message = e.message()] { emit journalFailed(message); },
            Qt::QueuedConnection);
    }
}

void RunJob::start(const QString& code, const QString& trainee, const QString& host) {
    m_code = code;
    m_trainee = trainee;
    m_host = host;
    enqueue({Op::Start});
}

std::optional<classjournal::RunEntry> RunJob::kept() const {
    try {
        return m_journal->run(m_run.token);
    } catch (const Error&) {
        return std::nullopt; // a journal that does not read holds nothing to go on with
    }
}

void RunJob::keep(const QVector<int>& order, const QString& headerLine, const QString& startClock) {
    classjournal::RunEntry entry;
    entry.server = m_server->url();
    entry.certificate = m_server->certificatePem();
    entry.sitting = m_sitting;
    entry.token = m_run.token;
    entry.records = m_run.records;
    entry.order = order;
    entry.headerLine = headerLine;
    entry.startClock = startClock;
    m_kept = true;
    journal([&](classjournal::Journal& j) { j.keepRun(entry); });
}

void RunJob::fetchQuestion(int record) {
    enqueue({Op::Question, record});
}

void RunJob::sendAnswer(int record, int option, double seconds) {
    journal([&](classjournal::Journal& j) { j.addAnswer(m_run.token, {record, option, seconds}); });
    enqueue({Op::Answer, record, option, seconds});
}

void RunJob::finish(bool completed) {
    if (m_run.token.isEmpty())
        return; // never started: nothing to end
    journal([&](classjournal::Journal& j) { j.setEnd(m_run.token, completed); });
    enqueue({Op::Finish, 0, 0, 0, completed});
}

void RunJob::release() {
    m_released = true;
    // What only the window wanted goes; what the journal holds stays to be sent.
    const bool headDropped =
        !m_queue.isEmpty() && (m_queue.first().kind == Op::Start ||
                               (m_queue.first().kind == Op::Question && !m_queue.first().internal));
    m_queue.removeIf([](const Op& op) {
        return op.kind == Op::Start || (op.kind == Op::Question && !op.internal);
    });
    if (headDropped && m_call) {
        m_call->abandon();
        m_call = nullptr;
    }
    next();
}

void RunJob::hurry() {
    if (m_pause->active()) {
        m_pause->stop();
        next();
    }
}

void RunJob::enqueue(const Op& op) {
    m_queue.append(op);
    next();
}

void RunJob::next() {
    if (m_call || m_pause->active())
        return;
    if (m_queue.isEmpty()) {
        m_failedTries = 0;
        m_pausedMs = 0;
        emit drained();
        if (m_released)
            deleteLater();
        return;
    }
    namespace key = classapi::key;
    const Op& op = m_queue.first();
    QJsonObject body;
    std::string_view path;
    switch (op.kind) {
    case Op::Start:
        path = classapi::path::startRun;
        body = {{keyName(key::sitting), m_sitting},
                {keyName(key::code), m_code},
                {keyName(key::host), m_host},
                {keyName(key::trainee), m_trainee}};
        break;
    case Op::Question:
        path = classapi::path::question;
        body = {{keyName(key::token), m_run.token}, {keyName(key::record), op.record}};
        break;
    case Op::Answer:
        path = classapi::path::answer;
        body = {{keyName(key::token), m_run.token},
                {keyName(key::record), op.record},
                {keyName(key::option), op.option},
                {keyName(key::seconds), op.seconds}};
        break;
    case Op::Finish:
        path = classapi::path::finishRun;
        body = {{keyName(key::token), m_run.token}, {keyName(key::completed), op.completed}};
        break;
    }
    m_call = m_server->post(path, body);
    connect(m_call, &Call::done, this, [this](const CallResult& r) {
        m_call = nullptr;
        handle(r);
    });
}

void RunJob::handle(const CallResult& r) {
    if (m_queue.isEmpty())
        return;
    if (r.outcome == Outcome::Passing) {
        ++m_failedTries;
        const int pause = qMax(pauseMs(m_failedTries), r.retryAfterSeconds * 1000);
        m_pausedMs += pause;
        m_pause->start(pause);
        emit waiting(m_failedTries >= quietTries || m_pausedMs >= quietMs, r.message);
        return;
    }
    m_failedTries = 0;
    m_pausedMs = 0;
    Op op = m_queue.first();
    if (r.outcome == Outcome::Final) {
        // The server lost the handing-out (a crash just after it): hand the record out again,
        // then send the same answer.
        if (op.kind == Op::Answer && r.error == keyName(classapi::error::notHandedOut) &&
            !op.handedOut) {
            m_queue.first().handedOut = true;
            m_queue.prepend({Op::Question, op.record, 0, 0, false, true});
            next();
            return;
        }
        m_queue.removeFirst();
        refused(op, refusal(r.message));
        next();
        return;
    }
    try {
        succeeded(op, r);
    } catch (const ReplyError& e) {
        m_queue.removeFirst();
        refused(op, refusal(QStringLiteral("недопустимый ответ: %1").arg(e.message())));
    }
    next();
}

// Parses the reply before the request leaves the queue: a reply that does not read is a
// refusal of the request.
void RunJob::succeeded(const Op& op, const CallResult& r) {
    switch (op.kind) {
    case Op::Start: {
        const RunInfo run = readRun(r.body);
        m_queue.removeFirst();
        m_run = run;
        emit started(m_run);
        break;
    }
    case Op::Question: {
        const Question q = readQuestion(r.body, op.record);
        m_queue.removeFirst();
        if (!op.internal)
            emit questionReady(q);
        break;
    }
    case Op::Answer: {
        const RecordedAnswer a = readAnswer(r.body, op.record, m_run.records);
        m_queue.removeFirst();
        journal([&](classjournal::Journal& j) { j.answerSent(m_run.token, op.record); });
        emit answerRecorded(a);
        break;
    }
    case Op::Finish: {
        const Finished f = readFinished(r.body, m_run.records);
        m_queue.removeFirst();
        journal([&](classjournal::Journal& j) { j.endSent(m_run.token); });
        emit finished(f.completed);
        break;
    }
    }
}

void RunJob::refused(const Op& op, const QString& reason) {
    if (op.kind == Op::Answer || op.kind == Op::Finish)
        journal([&](classjournal::Journal& j) {
            j.refuse(m_run.token, op.kind == Op::Answer ? op.record : 0, reason);
        });
    emit failed(reason);
}

QString RunJob::refusal(const QString& reason) const {
    return QStringLiteral("Сервер класса «%1»: %2").arg(m_server->name(), reason);
}
