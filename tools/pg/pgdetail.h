#pragma once

#include "servererror.h"

#include <QHash>
#include <QString>
#include <clocale>

struct pg_conn;

// What the connection's two halves (the calls, the login) share; not for other code.
namespace pg::detail {

qint64 monotonicMs();
QString trimmed(const char* message);

struct Options {
    QHash<QString, QString> values;
    bool ok = false;
    QString reason;
};
// The values a connection string sets itself (no defaults), or why it does not read.
Options parsed(const QString& conninfo);

// "host:port/database", for messages.
QString nameOf(const QString& host, const QString& port, const QString& db);

// While one lives, libpq's and the system's messages on this thread come in Russian, from
// Debian's translations (libpq5 and libc-l10n ship them), whatever the locale: the rest of
// every message is Russian. Without the ru_RU.UTF-8 locale they stay as they are.
class RussianMessages {
public:
    RussianMessages();
    ~RussianMessages();
    RussianMessages(const RussianMessages&) = delete;
    RussianMessages& operator=(const RussianMessages&) = delete;

private:
    locale_t m_previous = nullptr;
};

// Why a login failed, in the program's own words for the common cases (no password, a wrong
// one, a server that refuses or is not found), else in libpq's; and whether it was the
// server that refused (LoginRefused) or no server was reached (Unreachable). Call it inside
// RussianMessages, on a connection made with verbose errors.
struct LoginFailure {
    ServerError::Kind kind;
    QString reason;
};
LoginFailure loginFailure(pg_conn* conn);

} // namespace pg::detail
