#pragma once

#include "pgconnection.h"

#include <QCryptographicHash>
#include <optional>

// The class server's SQL functions called as kviront-server calls them (each statement its own
// transaction, the right answer read in a later one than the answer's), for the tests of the
// database's own wall, under kviront-server.
namespace sittingcalls {

struct Run {
    QString token, trainee;
    int records = 0;
    bool resumed = false;
};

struct Answer {
    int option = 0;
    std::optional<bool> right;
    QString prOtvet;
    double seconds = 0, serverSeconds = 0;
    bool late = false, repeated = false;
};

inline Run start(pg::Connection& c, const QString& sitting, const QString& code,
                 const QString& host, const QString& trainee = QStringLiteral("Ученик")) {
    const pg::Result r = c.exec(
        "SELECT token, record_count, trainee, resumed "
        "FROM kviront_api.sitting_start($1, $2, $3, $4)",
        {sitting,
         pg::Param::bytes(QCryptographicHash::hash(code.toLatin1(), QCryptographicHash::Sha256)),
         host, trainee});
    return {r.text(0, 0), r.text(0, 2), int(r.integer(0, 1)), r.flag(0, 3)};
}

inline void handOut(pg::Connection& c, const QString& token, int record) {
    c.exec("SELECT name FROM kviront_api.hand_out($1, $2)", {token, record});
}

inline Answer answer(pg::Connection& c, const QString& token, int record, int option,
                     double seconds) {
    const bool repeated = c.exec("SELECT repeated FROM kviront_api.record_answer($1, $2, $3, $4)",
                                 {token, record, option, seconds})
                              .flag(0, 0);
    const pg::Result r = c.exec("SELECT option, verdict, pr_otvet, client_seconds, "
                                "server_seconds, late FROM kviront_api.answer_result($1, $2)",
                                {token, record});
    const std::optional<bool> right =
        r.isNull(0, 1) ? std::nullopt : std::optional<bool>(r.flag(0, 1));
    return {int(r.integer(0, 0)), right,        r.text(0, 2), r.number(0, 3),
            r.number(0, 4),       r.flag(0, 5), repeated};
}

// How the run ended: completed or not.
inline bool finish(pg::Connection& c, const QString& token, bool completed) {
    return c.exec("SELECT finished FROM kviront_api.sitting_finish($1, $2)", {token, completed})
        .flag(0, 0);
}

} // namespace sittingcalls
