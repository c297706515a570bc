#pragma once

#include "pgconnection.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <optional>

// The trainee's side of a test run on the classroom server: the four calls of the trainee
// role, each one short transaction of its own. The run is known by its token alone, so a call
// may follow a reconnect (or go through a pooler) without anything kept on the session.
// Every call throws ServerError; a lost connection (ServerError::connectionLost) is dropped
// and the next call connects anew, so the caller may resend: a resent answer is answered with
// the one recorded first.
namespace serverbank {

// The version of the calls this client speaks.
constexpr int apiVersion = 1;

struct RunStart {
    QString token;
    int version = 0;     // of the bank, as published
    int recordCount = 0; // records 1 … recordCount
};

// A record without its right answer.
struct ServerQuestion {
    QString name;
    QString vopros;
    QString otvet[4];
    QByteArray graph;
};

// The answer as the server recorded it (the first one, for a resend).
struct RecordedAnswer {
    QString prOtvet;
    std::optional<bool> right; // none: the right answer does not read as a number
    int option = 0;            // 1 … 4, 0 for a time-out
    double seconds = 0;        // as the client counted them
    double serverSeconds = 0;  // from the handing-out of the question
};

class TraineeClient {
public:
    explicit TraineeClient(const QString& conninfo) : m_connection(conninfo) {}

    // A run of the newest version of `bank`. `decimalSeparator` is the one the trainee's
    // program reads numbers with: the server's verdict reads the right answer with it.
    RunStart startRun(const QString& bank, const QString& trainee, const QString& host,
                      int allowedSeconds, QChar decimalSeparator);
    ServerQuestion question(const QString& token, int record);
    RecordedAnswer answer(const QString& token, int record, int option, double seconds);
    // Ends the run, completed or not; ending an ended run returns how it ended.
    bool finishRun(const QString& token, bool finished);

    QString serverName() const { return m_connection.serverName(); }
    pg::Connection& connection() { return m_connection; }

private:
    pg::Result call(const char* sql, const QVector<pg::Param>& params, bool binary = false);

    pg::Connection m_connection;
};

} // namespace serverbank
