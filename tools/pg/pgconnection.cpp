#include "pgconnection.h"

#include "pg_hook.h"
#include "pgdetail.h"

#include <QElapsedTimer>
#include <QHash>
#include <cerrno>
#include <libpq-fe.h>
#include <poll.h>

namespace pghook {
Watch* watch = nullptr;
}

namespace pg {

qint64 detail::monotonicMs() {
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

QString detail::trimmed(const char* message) {
    return QString::fromUtf8(message).trimmed();
}

detail::Options detail::parsed(const QString& conninfo) {
    Options o;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        o.reason = error ? trimmed(error) : QStringLiteral("нехватка памяти");
        PQfreemem(error);
        return o;
    }
    for (PQconninfoOption* opt = options; opt->keyword; ++opt)
        if (opt->val)
            o.values.insert(QString::fromUtf8(opt->keyword), QString::fromUtf8(opt->val));
    PQconninfoFree(options);
    o.ok = true;
    return o;
}

QString detail::nameOf(const QString& host, const QString& port, const QString& db) {
    const QString h = host.isEmpty() ? QStringLiteral("localhost") : host;
    return QStringLiteral("%1:%2/%3").arg(h, port.isEmpty() ? QStringLiteral("5432") : port, db);
}

namespace {

using namespace detail;
using Kind = ServerError::Kind;

// What the server's SQLSTATE says; the codes KV001 … KV006 are the trainee functions' own.
Kind kindOf(const QString& state) {
    static const QHash<QString, Kind> kinds{
        {QStringLiteral("KV001"), Kind::BankUnknown},
        {QStringLiteral("KV002"), Kind::RunUnknown},
        {QStringLiteral("KV003"), Kind::RunFinished},
        {QStringLiteral("KV004"), Kind::NotHandedOut},
        {QStringLiteral("KV005"), Kind::NoSuchRecord},
        {QStringLiteral("KV006"), Kind::Refused},
        {QStringLiteral("42883"), Kind::SchemaMissing},
        {QStringLiteral("3F000"), Kind::SchemaMissing},
        {QStringLiteral("42P01"), Kind::SchemaMissing},
        {QStringLiteral("42501"), Kind::AccessDenied},
        {QStringLiteral("55P03"), Kind::Busy},
    };
    if (kinds.contains(state))
        return kinds.value(state);
    // The connection's class, the server shutting down or not yet accepting, a crash of a
    // server process: the call did not complete, and a resend is the answer.
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")) ||
        state == QLatin1String("40001") || state == QLatin1String("40P01"))
        return Kind::Unreachable;
    return Kind::Other;
}

} // namespace

QString describe(const QString& conninfo, QString* user) {
    const Options o = parsed(conninfo);
    QString host = o.values.value(QStringLiteral("host"));
    if (host.isEmpty())
        host = o.values.value(QStringLiteral("hostaddr"));
    if (user)
        *user = o.values.value(QStringLiteral("user"));
    return nameOf(host, o.values.value(QStringLiteral("port")),
                  o.values.value(QStringLiteral("dbname")));
}

bool parseConninfo(const QString& conninfo, QString* reason) {
    const Options o = parsed(conninfo);
    if (!o.ok && reason)
        *reason = o.reason;
    return o.ok;
}

QHash<QString, QString> conninfoValues(const QString& conninfo) {
    return parsed(conninfo).values;
}

QString quoteValue(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

Result::~Result() {
    PQclear(m_result);
}

Result& Result::operator=(Result&& other) noexcept {
    if (this != &other) {
        PQclear(m_result);
        m_result = other.m_result;
        other.m_result = nullptr;
    }
    return *this;
}

int Result::rows() const {
    return m_result ? PQntuples(m_result) : 0;
}

bool Result::isNull(int row, int column) const {
    return PQgetisnull(m_result, row, column) != 0;
}

QString Result::text(int row, int column) const {
    return QString::fromUtf8(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

QByteArray Result::raw(int row, int column) const {
    return QByteArray(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

QByteArray Result::bytea(int row, int column) const {
    size_t length = 0;
    unsigned char* bytes = PQunescapeBytea(
        reinterpret_cast<const unsigned char*>(PQgetvalue(m_result, row, column)), &length);
    QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(length));
    PQfreemem(bytes);
    return out;
}

qint64 Result::integer(int row, int column) const {
    return QByteArray(PQgetvalue(m_result, row, column)).toLongLong();
}

double Result::number(int row, int column) const {
    return QByteArray(PQgetvalue(m_result, row, column)).toDouble();
}

bool Result::flag(int row, int column) const {
    return PQgetvalue(m_result, row, column)[0] == 't';
}

Connection::Connection(QString conninfo) : m_conninfo(conninfo.toUtf8()) {
    m_serverName = describe(conninfo, &m_user);
}

Connection::Connection(QString conninfo, TeacherLogin teacher) : Connection(std::move(conninfo)) {
    m_teacher = std::move(teacher);
}

Connection::~Connection() {
    disconnect();
}

bool Connection::connected() const {
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

void Connection::disconnect() {
    PQfinish(m_conn);
    m_conn = nullptr;
}

void Connection::rollback() {
    if (!connected())
        return;
    try {
        exec("ROLLBACK");
    } catch (const ServerError&) {
    }
}

void Connection::lost(const QString& why) {
    disconnect();
    throw ServerError(
        Kind::Unreachable,
        QStringLiteral("Связь с сервером класса «%1» прервалась: %2").arg(m_serverName, why));
}

void Connection::failed(pg_result* result) {
    const QString state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
    const QString why = result && PQresultErrorMessage(result)[0]
                            ? trimmed(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY))
                            : trimmed(PQerrorMessage(m_conn));
    PQclear(result);
    if (PQstatus(m_conn) != CONNECTION_OK)
        lost(why);
    const Kind kind = kindOf(state);
    if (kind == Kind::Unreachable)
        disconnect(); // the server is going away: the next call connects anew
    if (kind == Kind::Busy)
        throw ServerError(kind, QStringLiteral("Сервер класса «%1» занят: другой сеанс держит "
                                               "нужную блокировку дольше %2 с.")
                                    .arg(m_serverName)
                                    .arg(teacherLockSeconds));
    throw ServerError(kind, QStringLiteral("Сервер класса «%1»: %2").arg(m_serverName, why));
}

Connection::Values Connection::valuesOf(const QVector<Param>& params) const {
    Values v;
    for (const Param& p : params) {
        // A text value goes as a C string: a zero byte would cut it short without a word.
        if (!p.binary && !p.isNull && p.value.contains('\0'))
            throw ServerError(Kind::Refused,
                              QStringLiteral("Сервер класса «%1» не хранит текст с нулевым "
                                             "символом (U+0000).")
                                  .arg(m_serverName));
        v.values.append(p.isNull ? nullptr : p.value.constData());
        v.lengths.append(int(p.value.size()));
        v.formats.append(p.binary ? 1 : 0);
    }
    return v;
}

Result Connection::exec(const char* sql, const QVector<Param>& params, bool binaryResult) {
    const RussianMessages russian;
    const Values v = valuesOf(params);
    connect();
    checkSent(PQsendQueryParams(m_conn, sql, int(params.size()), nullptr, v.values.constData(),
                                v.lengths.constData(), v.formats.constData(),
                                binaryResult ? 1 : 0));
    if (pghook::watch && pghook::watch->afterSend)
        pghook::watch->afterSend(sql, m_conn);
    pg_result* r = awaitResult(sql);
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        failed(r);
    return Result(r);
}

void Connection::waitReadable(qint64 deadline) {
    pollfd fd{PQsocket(m_conn), POLLIN, 0};
    for (;;) {
        const qint64 left = deadline < 0 ? -1 : deadline - monotonicMs();
        if (deadline >= 0 && left <= 0) {
            // The server may still finish the call: every call may be sent again, and a resent
            // answer gets the one recorded first.
            disconnect();
            throw ServerError(Kind::Unreachable,
                              QStringLiteral("Сервер класса «%1» не ответил за %2 с")
                                  .arg(m_serverName)
                                  .arg((m_callTimeoutMs + 999) / 1000));
        }
        const int n = ::poll(&fd, 1, int(left));
        if (n > 0 || (n < 0 && errno != EINTR))
            return; // readable, or broken: PQconsumeInput tells which
    }
}

pg_result* Connection::awaitResult(const char* sql) {
    const qint64 deadline = m_callTimeoutMs > 0 ? monotonicMs() + m_callTimeoutMs : -1;
    pg_result* kept = nullptr;
    for (;;) {
        while (PQisBusy(m_conn)) {
            waitReadable(deadline);
            if (!PQconsumeInput(m_conn)) {
                PQclear(kept);
                lost(trimmed(PQerrorMessage(m_conn)));
            }
        }
        pg_result* r = PQgetResult(m_conn);
        if (!r)
            break;
        if (pghook::watch && pghook::watch->received)
            pghook::watch->received(sql, r);
        // One statement gives one result; an error one wins over any before it.
        const ExecStatusType status = PQresultStatus(r);
        if (kept && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)) {
            PQclear(r);
        } else {
            PQclear(kept);
            kept = r;
        }
    }
    if (!kept)
        failed(nullptr);
    return kept;
}

void Connection::execScript(const QByteArray& sql) {
    const RussianMessages russian;
    connect();
    pg_result* r = PQexec(m_conn, sql.constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        failed(r);
    PQclear(r);
}

void Connection::checkSent(int sent) {
    if (!sent)
        failed(nullptr);
}

void Connection::forEachRow(const char* sql, const QVector<Param>& params,
                            const std::function<void(const Result&)>& row) {
    const RussianMessages russian;
    const Values v = valuesOf(params);
    connect();
    checkSent(PQsendQueryParams(m_conn, sql, int(params.size()), nullptr, v.values.constData(),
                                v.lengths.constData(), v.formats.constData(), 0));
    PQsetSingleRowMode(m_conn);
    pg_result* error = nullptr;
    while (pg_result* r = PQgetResult(m_conn)) {
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_SINGLE_TUPLE && !error) {
            const Result one(r);
            try {
                row(one);
            } catch (...) {
                // Drain the rest, so the connection stays usable, then pass the error on.
                while (pg_result* rest = PQgetResult(m_conn))
                    PQclear(rest);
                throw;
            }
        } else if (status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE && !error) {
            error = r;
        } else {
            PQclear(r);
        }
    }
    if (error)
        failed(error);
    if (PQstatus(m_conn) != CONNECTION_OK)
        failed(nullptr);
}

} // namespace pg
