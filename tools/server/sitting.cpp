#include "sitting.h"

#include "classapi.h"
#include "error.h"
#include "pgconnection.h"
#include "schema.h"
#include "serverbankfile.h"
#include "slips.h"
#include "teachersession.h"
#include "textfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QStringDecoder>

namespace serversitting {
namespace {

// A class is far smaller; the bound keeps a wrong file from making thousands of codes.
constexpr int maxCodes = 1000;

void rollback(pg::Connection& c) {
    try {
        c.exec("ROLLBACK");
    } catch (const ServerError&) {
    }
}

// Connected, with the schema this tool knows. Throws ServerError.
void ready(pg::Connection& c) {
    c.connect();
    serverschema::requireCurrent(c);
}

double epochOf(const QDateTime& when) {
    return when.isValid() ? when.toMSecsSinceEpoch() / 1000.0 : 0;
}

QByteArray codeHash(const QString& code) {
    return QCryptographicHash::hash(code.toLatin1(), QCryptographicHash::Sha256);
}

struct Version {
    qint64 id = 0;
    int number = 0, records = 0;
};

Version versionToOpen(pg::Connection& c, const OpenOptions& o) {
    const pg::Result r =
        c.exec("SELECT v.id, v.version, v.record_count, b.withdrawn_at IS NOT NULL, "
               "v.withdrawn_at IS NOT NULL FROM kviront.banks b JOIN kviront.bank_versions v ON "
               "v.bank_id = b.id WHERE b.name = $1 AND ($2 = 0 OR v.version = $2) "
               "ORDER BY v.version DESC LIMIT 1",
               {o.bank, o.version});
    if (r.rows() == 0)
        throw Error(o.version == 0 ? QStringLiteral("На сервере нет банка «%1».").arg(o.bank)
                                   : QStringLiteral("У банка «%1» на сервере нет версии %2.")
                                         .arg(o.bank)
                                         .arg(o.version));
    if (r.flag(0, 3) || r.flag(0, 4))
        throw Error(QStringLiteral("Банк «%1» (версия %2) снят: по нему тестирование не "
                                   "открывается.")
                        .arg(o.bank)
                        .arg(r.integer(0, 1)));
    return {r.integer(0, 0), int(r.integer(0, 1)), int(r.integer(0, 2))};
}

void checkOptions(const OpenOptions& o, const QString& name) {
    const QString nameProblem = serverbank::bankNameProblem(name);
    if (!nameProblem.isEmpty())
        throw Error(QStringLiteral("Имя тестирования не подходит: %1.").arg(nameProblem));
    if (!classapi::isAllowedSeconds(o.seconds))
        throw Error(QStringLiteral("Время на вопрос — 30, 35, 45 или 60 секунд."));
    if (o.separator != QLatin1Char('.') && o.separator != QLatin1Char(','))
        throw Error(QStringLiteral("Десятичный разделитель — точка или запятая."));
    if (o.grace < 0 || o.grace > classapi::maxGraceSeconds)
        throw Error(
            QStringLiteral("Запас времени — от 0 до %1 секунд.").arg(classapi::maxGraceSeconds));
    if (o.until.isValid() && o.until <= QDateTime::currentDateTime())
        throw Error(QStringLiteral("Время окончания уже прошло."));
    if (o.from.isValid() && o.until.isValid() && o.from >= o.until)
        throw Error(QStringLiteral("Время начала должно быть раньше времени окончания."));
    if (!classapi::isValid(o.grades))
        throw Error(QStringLiteral("Границы оценок — три числа от 1 до 100 по убыванию: для «5», "
                                   "«4» и «3» (например, 90,75,50)."));
    const int codes = int(o.trainees.size()) + o.count;
    if (o.count < 0 || codes < 1 || codes > maxCodes)
        throw Error(
            QStringLiteral("Кодов нужно от 1 до %1 (список класса или --count).").arg(maxCodes));
}

QList<Code> makeCodes(const OpenOptions& o) {
    QList<Code> codes;
    QSet<QString> taken;
    const int count = int(o.trainees.size()) + o.count;
    while (codes.size() < count) {
        const QString code = newCode();
        if (taken.contains(code))
            continue;
        taken.insert(code);
        const qsizetype i = codes.size();
        codes.append({int(i) + 1, i < o.trainees.size() ? o.trainees[i] : QString(), code});
    }
    return codes;
}

} // namespace

QString newCode(int length) {
    QString code;
    for (int i = 0; i < length; ++i)
        code += QLatin1Char(classapi::codeAlphabet[QRandomGenerator::system()->bounded(
            int(classapi::codeAlphabet.size()))]);
    return code;
}

QString fileNameFor(const QString& sitting, const QString& suffix) {
    QString name = sitting;
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    return name + suffix;
}

QStringList readClassList(const QString& path) {
    const QByteArray bytes = textfile::readFile(path, 1024 * 1024);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw Error(QStringLiteral("Список класса «%1» — не текст UTF-8.").arg(path));
    QStringList names;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        bool control = false;
        for (QChar c : line)
            control = control || c.category() == QChar::Other_Control;
        if (control || line.size() > classapi::maxTraineeChars)
            throw Error(QStringLiteral("Список класса «%1», строка %2: не имя (управляющие "
                                       "символы или длиннее %3 знаков).")
                            .arg(path)
                            .arg(i + 1)
                            .arg(classapi::maxTraineeChars));
        names << line;
    }
    if (names.isEmpty())
        throw Error(QStringLiteral("В списке класса «%1» нет ни одного имени.").arg(path));
    return names;
}

Opened open(const OpenOptions& o) {
    Opened out;
    out.name = o.name.isEmpty()
                   ? QStringLiteral("%1, %2").arg(o.bank, QDateTime::currentDateTime().toString(
                                                              QStringLiteral("dd.MM.yyyy HH:mm")))
                   : o.name;
    checkOptions(o, out.name);
    out.link = o.link.isEmpty() ? fileNameFor(out.name, QStringLiteral(".mdb")) : o.link;
    out.slips = o.slips.isEmpty() ? fileNameFor(out.name, QStringLiteral(" — коды.html")) : o.slips;
    if (QFileInfo::exists(out.slips) || QFileInfo(out.slips).isSymLink())
        throw Error(QStringLiteral("Файл «%1» уже есть: листки с кодами не записаны поверх него "
                                   "(задайте другой --slips).")
                        .arg(out.slips));
    pg::Connection c(o.conninfo, teachersession::atTerminal());
    ready(c);
    c.exec("BEGIN");
    bool slipsWritten = false, linkWritten = false; // only what this call wrote is removed
    try {
        const Version v = versionToOpen(c, o);
        out.bank = o.bank;
        out.version = v.number;
        out.records = v.records;
        out.seconds = o.seconds;
        out.until = o.until;
        serverbank::SittingLink link{o.url, out.name, o.certificate};
        if (o.url.isEmpty() || o.certificate.isEmpty()) {
            const pg::Result id = c.exec("SELECT url, certificate FROM kviront.server_identity");
            if (id.rows() == 0)
                throw Error(QStringLiteral("Сервер класса «%1» не знает своего адреса и "
                                           "сертификата: выполните на нём «sudo kviront-server "
                                           "setup» (или задайте --url и --certificate).")
                                .arg(c.serverName()));
            if (link.server.isEmpty())
                link.server = id.text(0, 0);
            if (link.certificate.isEmpty())
                link.certificate = id.text(0, 1).toUtf8();
        }
        out.url = link.server;
        // What the trainees' program will read: checked before anything is stored.
        serverbank::parseSitting(serverbank::sittingBytes(link), out.link);
        if (c.exec("SELECT 1 FROM kviront.sittings WHERE name = $1", {out.name}).rows() > 0)
            throw Error(QStringLiteral("Тестирование «%1» на сервере уже есть: дайте другое имя "
                                       "(--name).")
                            .arg(out.name));
        out.teacherKey = newCode(classapi::teacherKeyLength);
        out.pageUrl = link.server + QStringLiteral("/class/");
        const pg::Result s = c.exec(
            "INSERT INTO kviront.sittings (name, version_id, allowed_seconds, decimal_separator, "
            "grace_seconds, opens_at, closes_at, teacher_key_hash, grade5, grade4, grade3, "
            "show_grade, own_order, hide_answers) VALUES ($1, $2, $3, $4, $5, CASE WHEN $6 THEN "
            "to_timestamp($7) ELSE now() END, CASE WHEN $8 THEN to_timestamp($9) END, $10, $11, "
            "$12, $13, $14, $15, $16) RETURNING id, extract(epoch FROM opens_at)",
            {out.name, v.id, o.seconds, QString(o.separator), o.grace, o.from.isValid(),
             epochOf(o.from), o.until.isValid(), epochOf(o.until),
             pg::Param::bytes(codeHash(out.teacherKey)), o.grades.five, o.grades.four,
             o.grades.three, o.showGrade, o.ownOrder, o.hideAnswers});
        out.openedAt = QDateTime::fromMSecsSinceEpoch(qint64(s.number(0, 1) * 1000));
        out.codes = makeCodes(o);
        for (const Code& code : out.codes)
            c.exec("INSERT INTO kviront.codes (sitting_id, position, code_hash, trainee) VALUES "
                   "($1, $2, $3, $4)",
                   {s.integer(0, 0), code.position, pg::Param::bytes(codeHash(code.code)),
                    code.trainee.isEmpty() ? pg::Param::null() : pg::Param(code.trainee)});
        textfile::writeFileAtomically(out.slips, slips::html(out), textfile::Links::Refuse,
                                      textfile::Readers::OwnerOnly);
        slipsWritten = true;
        serverbank::writeSitting(out.link, link);
        linkWritten = true;
        c.exec("COMMIT");
    } catch (const Error&) {
        rollback(c);
        if (slipsWritten)
            QFile::remove(out.slips);
        if (linkWritten)
            QFile::remove(out.link);
        throw;
    }
    return out;
}

bool close(const QString& conninfo, const QString& name) {
    pg::Connection c(conninfo, teachersession::atTerminal());
    ready(c);
    const pg::Result r = c.exec("UPDATE kviront.sittings SET closed_at = now() WHERE name = $1 "
                                "AND closed_at IS NULL RETURNING id",
                                {name});
    if (r.rows() == 1)
        return true;
    if (c.exec("SELECT 1 FROM kviront.sittings WHERE name = $1", {name}).rows() == 0)
        throw Error(QStringLiteral("На сервере нет тестирования «%1».").arg(name));
    return false;
}

NewKey newTeacherKey(const QString& conninfo, const QString& name) {
    pg::Connection c(conninfo, teachersession::atTerminal());
    ready(c);
    NewKey out{newCode(classapi::teacherKeyLength), {}};
    const pg::Result r = c.exec("UPDATE kviront.sittings SET teacher_key_hash = $1 WHERE name = $2 "
                                "RETURNING (SELECT url FROM kviront.server_identity)",
                                {pg::Param::bytes(codeHash(out.key)), name});
    if (r.rows() == 0)
        throw Error(QStringLiteral("На сервере нет тестирования «%1».").arg(name));
    if (!r.isNull(0, 0))
        out.pageUrl = r.text(0, 0) + QStringLiteral("/class/");
    return out;
}

QList<Listed> list(const QString& conninfo) {
    pg::Connection c(conninfo, teachersession::atTerminal());
    ready(c);
    const pg::Result r = c.exec(
        "SELECT s.name, b.name, v.version, s.allowed_seconds, extract(epoch FROM s.opens_at), "
        "extract(epoch FROM s.closes_at), CASE WHEN s.closed_at IS NOT NULL THEN 'закрыто' "
        "WHEN b.withdrawn_at IS NOT NULL OR v.withdrawn_at IS NOT NULL THEN 'банк снят' "
        "WHEN s.closes_at <= now() THEN 'окончено' WHEN s.opens_at > now() THEN 'не началось' "
        "ELSE 'идёт' END, (SELECT count(*) FROM kviront.codes k WHERE k.sitting_id = s.id), "
        "(SELECT count(*) FROM kviront.runs r WHERE r.sitting_id = s.id), "
        "(SELECT count(*) FROM kviront.runs r WHERE r.sitting_id = s.id AND r.finished) "
        "FROM kviront.sittings s JOIN kviront.bank_versions v ON v.id = s.version_id "
        "JOIN kviront.banks b ON b.id = v.bank_id ORDER BY s.opens_at, s.id");
    QList<Listed> out;
    for (int i = 0; i < r.rows(); ++i) {
        Listed l;
        l.name = r.text(i, 0);
        l.bank = r.text(i, 1);
        l.version = int(r.integer(i, 2));
        l.seconds = int(r.integer(i, 3));
        l.opensAt = QDateTime::fromMSecsSinceEpoch(qint64(r.number(i, 4) * 1000));
        if (!r.isNull(i, 5))
            l.closesAt = QDateTime::fromMSecsSinceEpoch(qint64(r.number(i, 5) * 1000));
        l.state = r.text(i, 6);
        l.codes = int(r.integer(i, 7));
        l.started = int(r.integer(i, 8));
        l.finished = int(r.integer(i, 9));
        out << l;
    }
    return out;
}

bool withdraw(const QString& conninfo, const QString& bank, int version) {
    pg::Connection c(conninfo, teachersession::atTerminal());
    ready(c);
    const pg::Result known = c.exec(
        "SELECT b.id, b.withdrawn_at IS NOT NULL, (SELECT v.withdrawn_at IS NOT NULL FROM "
        "kviront.bank_versions v WHERE v.bank_id = b.id AND v.version = $2) FROM kviront.banks b "
        "WHERE b.name = $1",
        {bank, version});
    if (known.rows() == 0)
        throw Error(QStringLiteral("На сервере нет банка «%1».").arg(bank));
    if (version != 0 && known.isNull(0, 2))
        throw Error(
            QStringLiteral("У банка «%1» на сервере нет версии %2.").arg(bank).arg(version));
    if (version == 0) {
        if (known.flag(0, 1))
            return false;
        c.exec("UPDATE kviront.banks SET withdrawn_at = now() WHERE id = $1",
               {known.integer(0, 0)});
        return true;
    }
    if (known.flag(0, 2))
        return false;
    c.exec("UPDATE kviront.bank_versions SET withdrawn_at = now() WHERE bank_id = $1 AND "
           "version = $2",
           {known.integer(0, 0), version});
    return true;
}

} // namespace serversitting
