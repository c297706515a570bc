#include "serverbankfile.h"

#include "error.h"
#include "pgconnection.h"
#include "textfile.h"

#include <QFileInfo>
#include <QStringList>

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

} // namespace

bool isServerBankHead(const QByteArray& head) {
    return withoutBom(head).startsWith(signature);
}

QString bankNameProblem(const QString& name) {
    if (name.trimmed().isEmpty())
        return QStringLiteral("имя банка пустое");
    if (name.size() > 200)
        return QStringLiteral("имя банка длиннее 200 знаков");
    for (QChar c : name)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("в имени банка есть управляющие символы (перевод строки, "
                                  "табуляция)");
    return {};
}

QByteArray linkBytes(const BankLink& link) {
    return signature + QByteArray::number(formatVersion) + "\n" +
           "# Банк вопросов на сервере класса: откройте этот файл в «Открыть БД».\n" +
           "conninfo=" + link.conninfo.toUtf8() + "\n" + "bank=" + link.bank.toUtf8() + "\n";
}

BankLink parseLink(const QByteArray& bytes, const QString& path) {
    const QByteArray body = withoutBom(bytes);
    QStringList lines = QString::fromUtf8(body).split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    const QString first = lines.value(0);
    if (!isServerBankHead(body))
        bad(path, QStringLiteral("нет подписи в первой строке"));
    bool ok = false;
    const int version = first.mid(signature.size()).toInt(&ok);
    if (!ok || version < 1)
        bad(path, QStringLiteral("первая строка испорчена"));
    if (version > formatVersion)
        bad(path,
            QStringLiteral("файл записан более новой версией программы (формат %1)").arg(version));
    BankLink link;
    bool haveConninfo = false, haveBank = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        if (eq > 0 && key == QLatin1String("conninfo") && !haveConninfo) {
            link.conninfo = value.trimmed();
            haveConninfo = true;
        } else if (eq > 0 && key == QLatin1String("bank") && !haveBank) {
            link.bank = value;
            haveBank = true;
        } else {
            bad(path, QStringLiteral("непонятная строка %1").arg(i + 1));
        }
    }
    if (!haveConninfo || link.conninfo.isEmpty())
        bad(path, QStringLiteral("нет строки подключения (conninfo=)"));
    if (!haveBank)
        bad(path, QStringLiteral("нет имени банка (bank=)"));
    const QString nameProblem = bankNameProblem(link.bank);
    if (!nameProblem.isEmpty())
        bad(path, nameProblem);
    QString reason;
    if (!pg::parseConninfo(link.conninfo, &reason))
        bad(path, QStringLiteral("строка подключения не читается (%1)").arg(reason));
    return link;
}

BankLink readLink(const QString& path) {
    return parseLink(textfile::readFile(path, maxFileBytes), path);
}

void writeLink(const QString& path, const BankLink& link) {
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
    textfile::writeFileAtomically(path, linkBytes(link));
}

} // namespace serverbank
