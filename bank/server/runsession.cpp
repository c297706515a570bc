#include "runsession.h"

namespace serverbank {

int resendDelayMs(int attempt) {
    return attempt >= 5 ? 10000 : 1000 << qMax(0, attempt - 1);
}

RunSession::RunSession(const BankLink& link, const RunRequest& request, int callTimeout)
    : m_link(link), m_client(link.conninfo) {
    m_client.connection().setCallTimeout(callTimeout);
    m_run = m_client.startRun(link.bank, request.trainee, request.host, request.allowedSeconds,
                              request.decimalSeparator);
}

ServerQuestion RunSession::question(int record) {
    return m_client.question(m_run.token, record);
}

const RecordedAnswer& RunSession::answer(int record, int option, double seconds) {
    if (const RecordedAnswer* done = recorded(record))
        return *done;
    RecordedAnswer a;
    try {
        a = m_client.answer(m_run.token, record, option, seconds);
    } catch (const ServerError& e) {
        if (e.kind() != ServerError::Kind::NotHandedOut)
            throw;
        m_client.question(m_run.token, record);
        a = m_client.answer(m_run.token, record, option, seconds);
    }
    return *m_answers.insert(record, a);
}

const RecordedAnswer* RunSession::recorded(int record) const {
    const auto it = m_answers.constFind(record);
    return it == m_answers.constEnd() ? nullptr : &*it;
}

bool RunSession::finish(bool finished) {
    if (!m_ended)
        m_ended = m_client.finishRun(m_run.token, finished);
    return *m_ended;
}

} // namespace serverbank
