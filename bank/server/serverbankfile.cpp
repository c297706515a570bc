#include "serverbankfile.h"

#include "error.h"
#include "textfile.h"

#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace serverbank {
namespace {

const QByteArray signature("KVIRONT SERVER BANK ");
const QByteArray bom("\xEF\xBB\xBF");
constexpr qint64 maxFileBytes = 64 * 1024;

QByteArray withoutBom(const QByteArray& bytes) {
    return bytes.startsWith(bom) ? bytes.mid(bom.size()) : bytes;
}

[[noreturn]] void bad(const QString& path, const QString& what) {
    throw Error(QStringLiteral("Файл «%1» не читается как ссылка на банк сервера класса: %2")
                    .arg(path, what));
}

const QString beginCertificate = QStringLiteral("-----BEGIN CERTIFICATE-----");
const QString endCertificate = QStringLiteral("-----END CERTIFICATE-----");

QStringList linesOf(const QByteArray& body) {
    QStringList lines = QString::fromUtf8(body).split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

bool isBase64Line(const QString& line) {
    if (line.isEmpty())
        return false;
    for (QChar c : line)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('+') &&
            c != QLatin1Char('/') && c != QLatin1Char('='))
            return false;
    return true;
}

// `what` names the field ("имя банка"), `inWhat` says where ("в имени банка").
QString nameProblem(const QString& name, const QString& what, const QString& inWhat) {
    if (name.trimmed().isEmpty())
        return QStringLiteral("%1 пустое").arg(what);
    if (name.size() > 200)
        return QStringLiteral("%1 длиннее 200 знаков").arg(what);
    for (QChar c : name)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("%1 есть управляющие символы (перевод строки, табуляция)")
                .arg(inWhat);
    return {};
}

// Only an older server bank file is ever replaced: never a question bank or anything else.
void writeOverLinkOnly(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        QByteArray head;
        try {
            head = textfile::readFile(path, maxFileBytes);
        } catch (const Error&) {
            head.clear();
        }
        if (!isServerBankHead(head))
            throw Error(QStringLiteral("Файл «%1» уже есть и это не ссылка на банк сервера: его "
                                       "не перезаписываем")
                            .arg(path));
    }
    textfile::writeFileAtomically(path, bytes);
}

} // namespace

int linkFormat(const QByteArray& bytes) {
    const QByteArray body = withoutBom(bytes);
    if (!body.startsWith(signature))
        return 0;
    const qsizetype end = body.indexOf('\n');
    bool ok = false;
    const int version =
        body.mid(signature.size(), end < 0 ? -1 : end - signature.size()).trimmed().toInt(&ok);
    return ok && version > 0 ? version : 0;
}

QString serverUrlProblem(const QString& url) {
    const QUrl u(url, QUrl::StrictMode);
    if (url.isEmpty())
        return QStringLiteral("адрес сервера пуст");
    if (!u.isValid() || url.contains(QLatin1Char(' ')))
        return QStringLiteral("адрес сервера «%1» не читается").arg(url);
    if (u.scheme() != QLatin1String("https"))
        return QStringLiteral("адрес сервера «%1» не начинается с https://").arg(url);
    if (u.host().isEmpty())
        return QStringLiteral("в адресе сервера «%1» нет имени сервера").arg(url);
    if (!u.userInfo().isEmpty() || (!u.path().isEmpty() && u.path() != QLatin1String("/")) ||
        u.hasQuery() || u.hasFragment())
        return QStringLiteral("в адресе сервера «%1» лишнее: нужны только имя сервера и порт")
            .arg(url);
    return {};
}

QByteArray sittingBytes(const SittingLink& link) {
    QByteArray certificate = link.certificate;
    if (!certificate.endsWith('\n'))
        certificate += '\n';
    return signature + QByteArray::number(sittingFormatVersion) + "\n" +
           "# Тестирование на сервере класса: откройте этот файл в «Открыть БД».\n" +
           "server=" + link.server.toUtf8() + "\n" + "sitting=" + link.sitting.toUtf8() + "\n" +
           certificate;
}

SittingLink parseSitting(const QByteArray& bytes, const QString& path) {
    const QByteArray body = withoutBom(bytes);
    if (!isServerBankHead(body))
        bad(path, QStringLiteral("нет подписи в первой строке"));
    const int version = linkFormat(body);
    if (version == formatVersion)
        throw Error(QStringLiteral("Файл «%1» устарел: это ссылка на банк сервера класса прежнего "
                                   "вида, с которой программа больше не работает. Попросите "
                                   "учителя выдать новый файл тестирования.")
                        .arg(path));
    if (version < 1)
        bad(path, QStringLiteral("первая строка испорчена"));
    if (version > sittingFormatVersion)
        bad(path,
            QStringLiteral("файл записан более новой версией программы (формат %1)").arg(version));
    const QStringList lines = linesOf(body);
    SittingLink link;
    bool haveServer = false, haveSitting = false;
    QStringList pem;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line == beginCertificate) {
            if (!pem.isEmpty())
                bad(path, QStringLiteral("сертификатов больше одного"));
            pem << line;
            for (++i; i < lines.size() && lines[i] != endCertificate; ++i) {
                if (!isBase64Line(lines[i]))
                    bad(path, QStringLiteral("сертификат испорчен (строка %1)").arg(i + 1));
                pem << lines[i];
            }
            if (i >= lines.size() || pem.size() < 2)
                bad(path, QStringLiteral("сертификат не закончен"));
            pem << endCertificate;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString key = line.left(eq);
        if (eq > 0 && key == QLatin1String("server") && !haveServer) {
            link.server = line.mid(eq + 1);
            haveServer = true;
        } else if (eq > 0 && key == QLatin1String("sitting") && !haveSitting) {
            link.sitting = line.mid(eq + 1);
            haveSitting = true;
        } else if (eq > 0 && (key == QLatin1String("server") || key == QLatin1String("sitting"))) {
            bad(path, QStringLiteral("ключ «%1» повторён в строке %2").arg(key).arg(i + 1));
        } else if (eq > 0) {
            bad(path, QStringLiteral("неизвестный ключ «%1» в строке %2").arg(key).arg(i + 1));
        } else {
            bad(path, QStringLiteral("непонятная строка %1").arg(i + 1));
        }
    }
    if (!haveServer)
        bad(path, QStringLiteral("нет адреса сервера (server=)"));
    if (!haveSitting)
        bad(path, QStringLiteral("нет имени тестирования (sitting=)"));
    if (pem.isEmpty())
        bad(path, QStringLiteral("нет сертификата сервера"));
    const QString urlProblem = serverUrlProblem(link.server);
    if (!urlProblem.isEmpty())
        bad(path, urlProblem);
    const QString sittingProblem = nameProblem(link.sitting, QStringLiteral("имя тестирования"),
                                               QStringLiteral("в имени тестирования"));
    if (!sittingProblem.isEmpty())
        bad(path, sittingProblem);
    link.certificate = pem.join(QLatin1Char('\n')).toLatin1() + '\n';
    return link;
}

SittingLink readSitting(const QString& path) {
    return parseSitting(textfile::readFile(path, maxFileBytes), path);
}

void writeSitting(const QString& path, const SittingLink& link) {
    writeOverLinkOnly(path, sittingBytes(link));
}

bool isServerBankHead(const QByteArray& head) {
    return withoutBom(head).startsWith(signature);
}

QString bankNameProblem(const QString& name) {
    return nameProblem(name, QStringLiteral("имя банка"), QStringLiteral("в имени банка"));
}

} // namespace serverbank
