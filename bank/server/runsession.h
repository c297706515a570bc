#pragma once

#include "serverbankfile.h"
#include "traineeclient.h"

#include <QHash>
#include <optional>

// One test run on the classroom server, from its start to its end, as the test window takes
// it: a record is handed out when the run shows it and answered once. Every call may be made
// again after a lost connection (ServerError::connectionLost): an answer is sent until the
// server has recorded it, and never after.
namespace serverbank {

// What the server records of the run's start.
struct RunRequest {
    QString trainee; // as typed at sign-in
    QString host;    // the trainee's computer
    int allowedSeconds = 35;
    QChar decimalSeparator = QLatin1Char('.'); // the one the program reads numbers with
};

// The longest one call of a run may keep the window waiting before it counts as a lost
// connection (and is resent).
constexpr int callTimeoutMs = 5000;

// The wait before resend number `attempt` (1, 2, …) of a call that found no connection:
// 1, 2, 4 and 8 seconds, then every 10, so a class whose server comes back is not all at its
// door in the same second.
int resendDelayMs(int attempt);

class RunSession {
public:
    // Starts a run of the link's bank. Throws ServerError naming the server and the reason.
    RunSession(const BankLink& link, const RunRequest& request, int callTimeout = callTimeoutMs);

    int recordCount() const { return m_run.recordCount; }
    const QString& token() const { return m_run.token; }
    const QString& bank() const { return m_link.bank; }
    QString serverName() const { return m_client.serverName(); }

    // The record without its right answer; the server notes when it was first handed out.
    ServerQuestion question(int record);
    // Records the answer (0: the time ran out) and returns it with the right answer. An
    // answer recorded before is returned without a call. Should the server have lost the
    // record's handing-out (a crash of the server just after it), the record is handed out
    // again and the answer sent again.
    const RecordedAnswer& answer(int record, int option, double seconds);
    const RecordedAnswer* recorded(int record) const;
    // Ends the run, completed or not; ending it again returns how it ended without a call.
    bool finish(bool finished);
    bool ended() const { return m_ended.has_value(); }

private:
    BankLink m_link;
    TraineeClient m_client;
    RunStart m_run;
    QHash<int, RecordedAnswer> m_answers;
    std::optional<bool> m_ended;
};

} // namespace serverbank
