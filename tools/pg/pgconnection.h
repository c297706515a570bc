#pragma once

#include "servererror.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

struct pg_conn;
struct pg_result;

// A thin layer over libpq. Values always travel as parameters of an unnamed statement
// (PQexecParams), never inside the SQL text; nothing is kept on the session, so every call
// works through a pooler in transaction mode.
namespace pg {

struct Param {
    Param(const QString& text) : value(text.toUtf8()) {}
    Param(const char* text) : value(text) {}
    Param(int number) : value(QByteArray::number(number)) {}
    Param(qint64 number) : value(QByteArray::number(number)) {}
    Param(double number) : value(QByteArray::number(number, 'g', 17)) {}
    Param(bool flag) : value(flag ? "true" : "false") {}
    static Param bytes(const QByteArray& data) {
        Param p{QString()};
        p.value = data;
        p.binary = true;
        return p;
    }
    static Param null() {
        Param p{QString()};
        p.isNull = true;
        return p;
    }

    QByteArray value;
    bool isNull = false;
    bool binary = false;
};

// A query's rows. Text columns unless the query asked for binary results.
class Result {
public:
    explicit Result(pg_result* result = nullptr) : m_result(result) {}
    ~Result();
    Result(Result&& other) noexcept : m_result(other.m_result) { other.m_result = nullptr; }
    Result& operator=(Result&& other) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const;
    bool isNull(int row, int column) const;
    QString text(int row, int column) const;
    QByteArray raw(int row, int column) const;   // the bytes as sent
    QByteArray bytea(int row, int column) const; // a bytea column of a text result
    qint64 integer(int row, int column) const;
    double number(int row, int column) const;
    bool flag(int row, int column) const; // a boolean of a text result ("t")

private:
    pg_result* m_result;
};

// How a connection of the teacher's tools differs from the program's. Their connection
// string is typed or pasted by a person, and may come from a file someone else wrote: only the
// keys they need are taken (never a list of servers, never a key that sends the password
// elsewhere), the wait for the server is capped whatever the string says, a lock held by
// another session is waited for a bounded time, and a password the server asks for can come
// from the person at the terminal.
struct TeacherLogin {
    // Asks for the password when the server wants one and none was given; nullopt: there is
    // nobody to ask (no terminal), or nothing was typed.
    std::function<std::optional<QByteArray>(const QString& prompt)> askPassword;
};
// The longest a teacher's tool waits to connect, every address of the server counted.
constexpr int teacherConnectSeconds = 10;
// The longest a teacher's statement waits for a lock another session holds.
constexpr int teacherLockSeconds = 5;

// Refuses a teacher's connection string with a key other than host, port, dbname, user,
// password, sslmode, sslrootcert and connect_timeout, or naming more than one server; the
// message names the key. Returns the seconds the connecting may take: the string's
// connect_timeout, capped at teacherConnectSeconds (0 or none: the cap).
int checkTeacherConninfo(const QString& conninfo);

class Connection {
public:
    explicit Connection(QString conninfo);
    Connection(QString conninfo, TeacherLogin teacher);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects unless connected; a broken connection is dropped and made anew. Throws
    // ServerError (Unreachable or LoginRefused).
    void connect();
    void disconnect();
    // Ends the transaction open on the connection, if it is still there; a failure to say so
    // is no news (the server ends it with the session anyway).
    void rollback();
    bool connected() const;
    // The longest a call may wait for the server, in milliseconds (0: as long as it takes);
    // a call that waits longer drops the connection and fails as a lost one. Also bounds the
    // connecting and, on TCP, notices a peer that vanished without a word.
    void setCallTimeout(int milliseconds) { m_callTimeoutMs = milliseconds; }

    // One statement with its values as parameters; outside a transaction it is one. Throws
    // ServerError: Unreachable when the connection broke (it is then dropped), otherwise the
    // kind the server's SQLSTATE names.
    Result exec(const char* sql, const QVector<Param>& params = {}, bool binaryResult = false);
    // Statements without values (a migration file). Throws as exec().
    void execScript(const QByteArray& sql);
    // Runs a query row by row (single-row mode), for results too large to hold at once.
    void forEachRow(const char* sql, const QVector<Param>& params,
                    const std::function<void(const Result&)>& row);

    // "host:port/database", for messages.
    QString serverName() const { return m_serverName; }
    QString user() const { return m_user; }
    pg_conn* handle() const { return m_conn; }

private:
    void connectAsProgram();
    void connectAsTeacher();
    // One try of the teacher's login within `seconds`: a connection made or failed, and why
    // in `timedOut` when the time ran out.
    pg_conn* tryTeacherLogin(int seconds, const QByteArray& password, QString* timedOut);
    // Throws the failed login's ServerError, and lets the connection go.
    [[noreturn]] void refusedLogin(pg_conn* conn);

    struct Values {
        QVector<const char*> values; // point into the params, which outlive the call
        QVector<int> lengths, formats;
    };
    Values valuesOf(const QVector<Param>& params) const;
    [[noreturn]] void failed(pg_result* result);
    [[noreturn]] void lost(const QString& why); // the connection broke: dropped, Unreachable
    void checkSent(int sent);
    // Waits for the call's result within the call timeout. Throws as exec().
    pg_result* awaitResult(const char* sql);
    void waitReadable(qint64 deadline);

    QByteArray m_conninfo;
    pg_conn* m_conn = nullptr;
    QString m_serverName;
    QString m_user;
    int m_callTimeoutMs = 0;
    std::optional<TeacherLogin> m_teacher;
};

// The server a connection string names, for messages, without connecting.
QString describe(const QString& conninfo, QString* user = nullptr);
// Whether libpq reads the text as a connection string; the reason otherwise.
bool parseConninfo(const QString& conninfo, QString* reason);
// The values a connection string sets, by keyword; empty when it does not read.
QHash<QString, QString> conninfoValues(const QString& conninfo);
// A value for a connection string: quoted, with quotes and backslashes escaped.
QString quoteValue(const QString& value);

} // namespace pg
