#include "publish.h"

#include "bankexchange.h"
#include "bitmap.h"
#include "classapi.h"
#include "error.h"
#include "pgconnection.h"
#include "schema.h"
#include "serverbankfile.h"
#include "teachersession.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QVector>
#include <QtEndian>

namespace serverpublish {
namespace {

using Kind = ServerError::Kind;

// The program supports runs of up to this many questions.
constexpr int maxRecords = 10000;

struct Record {
    QString name, vopros, otvet[4], prOtvet;
    QByteArray graph;
};

void hashField(QCryptographicHash& hash, const QByteArray& bytes) {
    quint64 length = qToLittleEndian(quint64(bytes.size()));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&length), sizeof length));
    hash.addData(bytes);
}

// Every field with its length in front, so that no two different banks hash alike by
// shifting text from one field to the next.
QByteArray contentHash(const QVector<Record>& records) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const Record& r : records) {
        for (const QString* text :
             {&r.name, &r.vopros, &r.otvet[0], &r.otvet[1], &r.otvet[2], &r.otvet[3], &r.prOtvet})
            hashField(hash, text->toUtf8());
        hashField(hash, r.graph);
    }
    return hash.result();
}

QVector<Record> readRecords(const QString& path) {
    QVector<Record> records;
    bankexchange::readBank(path, [&](const exchange::Question& q) {
        if (records.size() >= maxRecords)
            throw Error(QStringLiteral("В банке «%1» больше %2 вопросов: тест столько не "
                                       "проводит")
                            .arg(path)
                            .arg(maxRecords));
        if (q.graph.size() > qsizetype(classapi::maxPictureBytes))
            throw Error(QStringLiteral("Банк «%1», запись %2: рисунок больше %3 МиБ, сервер класса "
                                       "его не передаст. Банк не опубликован.")
                            .arg(path)
                            .arg(q.line)
                            .arg(classapi::maxPictureBytes / (1024 * 1024)));
        // A picture the program would refuse would stop the run at that question.
        try {
            bitmap::checkGraph(q.graph);
        } catch (const Error& e) {
            throw Error(QStringLiteral("Банк «%1», запись %2: рисунок, который программа не "
                                       "покажет (%3). Банк не опубликован.")
                            .arg(path)
                            .arg(q.line)
                            .arg(e.message()));
        }
        Record r;
        r.name = q.name.toString();
        r.vopros = q.vopros;
        for (int k = 0; k < 4; ++k)
            r.otvet[k] = q.otvet[k];
        r.prOtvet = q.prOtvet.toString();
        r.graph = q.graph;
        records.append(r);
    });
    if (records.isEmpty())
        throw Error(QStringLiteral("В банке «%1» нет вопросов: публиковать нечего").arg(path));
    return records;
}

// Stores the version unless the newest one holds the same records. One transaction; a lock
// only teachers may take keeps two publishers of the same server from numbering versions alike.
Result store(pg::Connection& c, const Options& o, const QVector<Record>& records) {
    const QByteArray hash = contentHash(records);
    Result result;
    result.records = int(records.size());
    c.exec("BEGIN");
    try {
        teachersession::lock(c, "kviront.publish_lock");
        c.exec("INSERT INTO kviront.banks (name) VALUES ($1) ON CONFLICT (name) DO NOTHING",
               {o.name});
        const qint64 bankId =
            c.exec("SELECT id FROM kviront.banks WHERE name = $1", {o.name}).integer(0, 0);
        const pg::Result last = c.exec("SELECT version, content_hash FROM kviront.bank_versions "
                                       "WHERE bank_id = $1 ORDER BY version DESC LIMIT 1",
                                       {bankId});
        if (last.rows() == 1 && last.bytea(0, 1) == hash) {
            c.exec("ROLLBACK");
            result.version = int(last.integer(0, 0));
            result.unchanged = true;
            return result;
        }
        result.version = last.rows() == 1 ? int(last.integer(0, 0)) + 1 : 1;
        const qint64 versionId =
            c.exec("INSERT INTO kviront.bank_versions (bank_id, version, content_hash, "
                   "record_count, source) VALUES ($1, $2, $3, $4, $5) RETURNING id",
                   {bankId, result.version, pg::Param::bytes(hash), result.records,
                    QFileInfo(o.bank).fileName()})
                .integer(0, 0);
        for (int i = 0; i < records.size(); ++i) {
            const Record& r = records[i];
            c.exec("INSERT INTO kviront.questions (version_id, record, name, vopros, otvet1, "
                   "otvet2, otvet3, otvet4, pr_otvet, graph) "
                   "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
                   {versionId, i + 1, r.name, r.vopros, r.otvet[0], r.otvet[1], r.otvet[2],
                    r.otvet[3], r.prOtvet, pg::Param::bytes(r.graph)});
        }
        c.exec("COMMIT");
    } catch (const ServerError& e) {
        c.rollback();
        throw ServerError(e.kind(), e.message() + QStringLiteral(" Банк не опубликован."));
    }
    return result;
}

} // namespace

Result publish(const Options& o) {
    const QString nameProblem = serverbank::bankNameProblem(o.name);
    if (!nameProblem.isEmpty())
        throw Error(QStringLiteral("Банк не опубликован: %1").arg(nameProblem));
    pg::checkTeacherConninfo(o.conninfo); // refused before the bank is read
    const QVector<Record> records = readRecords(o.bank);
    pg::Connection c(o.conninfo, teachersession::atTerminal());
    c.connect();
    serverschema::requireCurrent(c);
    return store(c, o, records);
}

} // namespace serverpublish
