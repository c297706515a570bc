// What a failed login says, in Russian.
#include "pgdetail.h"

#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <libintl.h>
#include <libpq-fe.h>

namespace pg::detail {
namespace {

using Kind = ServerError::Kind;

locale_t russian() {
    // Text in UTF-8 whatever the process's own character set: a C locale would turn the
    // translations into question marks.
    static const locale_t ru =
        ::newlocale(LC_CTYPE_MASK | LC_MESSAGES_MASK, "ru_RU.UTF-8", locale_t(nullptr));
    return ru;
}

// The text libpq writes for `msgid` in the language now in force, up to its first value.
QString libpqText(const char* msgid) {
    static const QByteArray domain = "libpq5-" + QByteArray::number(PQlibVersion() / 10000);
    const QString text = QString::fromUtf8(::dgettext(domain.constData(), msgid));
    return text.left(text.indexOf(QLatin1String("%s")));
}

// As libpq put it in its message: strerror follows the thread's locale.
QString systemText(int error) {
    return QString::fromUtf8(::strerror(error));
}

} // namespace

RussianMessages::RussianMessages() {
    if (const locale_t ru = russian())
        m_previous = ::uselocale(ru);
}

RussianMessages::~RussianMessages() {
    if (m_previous)
        ::uselocale(m_previous);
}

LoginFailure loginFailure(pg_conn* conn) {
    const QString text = trimmed(PQerrorMessage(conn));
    if (PQconnectionNeedsPassword(conn))
        return {Kind::LoginRefused,
                QStringLiteral("сервер требует пароль, а он не задан. Введите его, когда "
                               "программа спросит (она спрашивает, когда запущена в терминале), "
                               "или запишите в файл ~/.pgpass")};
    // A server's refusal carries its code (verbose errors): "FATAL:  28P01: …".
    static const QRegularExpression coded(QStringLiteral(":  ([0-9A-Z]{5}): ([^\\n]*)"));
    const QRegularExpressionMatch m = coded.match(text);
    const QString state = m.captured(1);
    if (state == QLatin1String("28P01"))
        return {Kind::LoginRefused,
                QStringLiteral("пароль не подошёл (или на сервере нет такого пользователя)")};
    if (state == QLatin1String("28000"))
        return {Kind::LoginRefused,
                QStringLiteral("сервер не пускает этого пользователя с этого компьютера: нет "
                               "такого пользователя или разрешения в pg_hba.conf (%1)")
                    .arg(m.captured(2))};
    if (state == QLatin1String("3D000"))
        return {Kind::LoginRefused, QStringLiteral("на сервере нет такой базы данных")};
    if (state == QLatin1String("53300"))
        return {Kind::LoginRefused,
                QStringLiteral("заняты все подключения, которые сервер разрешает этому "
                               "пользователю")};
    if (state.startsWith(QLatin1String("57P")))
        return {Kind::Unreachable,
                QStringLiteral("сервер запускается или останавливается (%1)").arg(m.captured(2))};
    if (!state.isEmpty())
        return {Kind::LoginRefused, m.captured(2)};
    if (text.contains(systemText(ECONNREFUSED)))
        return {Kind::Unreachable,
                QStringLiteral("по этому адресу сервер не принимает подключений: он не запущен, "
                               "слушает другой порт или закрыт сетевым экраном")};
    const QString host = QString::fromUtf8(PQhost(conn));
    if (host.startsWith(QLatin1Char('/')) && text.contains(systemText(ENOENT)))
        return {Kind::Unreachable,
                QStringLiteral("сервер не запущен: в папке «%1» нет его сокета").arg(host)};
    const QString unknown = libpqText("could not translate host name \"%s\" to address: %s\n");
    if (!unknown.isEmpty() && text.contains(unknown))
        return {Kind::Unreachable,
                QStringLiteral("компьютер «%1» в сети не найден: проверьте имя сервера (%2)")
                    .arg(host, text.section(QLatin1String(": "), -1))};
    return {Kind::Unreachable, text};
}

} // namespace pg::detail
