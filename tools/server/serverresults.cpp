#include "serverresults.h"

#include "pgconnection.h"
#include "schema.h"
#include "teachersession.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

namespace serverresults {
namespace {

struct Texts {
    QString vopros, otvet[4], prOtvet;
};

struct Run {
    qint64 id = 0;
    qint64 versionId = 0;
    QString file; // how the report names it
    QString trainee;
    QString allowed;
    qint64 started = 0;
    qint64 ended = -1;
    bool finished = false;
    bool notClosed = false;
};

// The selection, shared by the three queries: $1 the bank's name or NULL, $2 the first moment
// (seconds since the epoch) or NULL.
const char* selection = " FROM kviront.runs r"
                        " JOIN kviront.bank_versions v ON v.id = r.version_id"
                        " JOIN kviront.banks b ON b.id = v.bank_id"
                        " WHERE ($1::text IS NULL OR b.name = $1)"
                        " AND ($2::double precision IS NULL OR r.started_at >= to_timestamp($2))";

QString unified(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// The right option as a number, 0 when the text names none; a right answer names its own.
int rightNumberOf(const Texts& t, int option, const QVariant& verdict) {
    if (verdict.isValid() && verdict.toBool())
        return option;
    double v = 0;
    if (!results::readNumber(t.prOtvet, &v) || v != double(int(v)) || v < 1 || v > 4)
        return 0;
    return int(v) == option ? 0 : int(v); // the server said it is not right
}

QString dateText(qint64 epoch) {
    return QDateTime::fromSecsSinceEpoch(epoch).toString(QStringLiteral("d-M-yyyy"));
}

QString timeText(qint64 epoch) {
    return QDateTime::fromSecsSinceEpoch(epoch).toString(QStringLiteral("H-mm-ss"));
}

class Reader {
public:
    Reader(const results::Options& o, results::ClassResults* results)
        : m_connection(o.server, teachersession::atTerminal()), m_results(results), m_bank(o.bank) {
        m_params = {o.bank.isEmpty() ? pg::Param::null() : pg::Param(o.bank),
                    o.since.isValid() ? pg::Param(double(o.since.startOfDay().toSecsSinceEpoch()))
                                      : pg::Param::null()};
    }

    QString read() {
        m_connection.connect();
        serverschema::requireCurrent(m_connection);
        m_connection.exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        requireBank();
        readQuestions();
        readRuns();
        readAnswers();
        m_connection.exec("COMMIT");
        return m_connection.serverName();
    }

private:
    // A misspelt bank would read as a bank nobody has taken yet: name it, and the banks there
    // are, so the right name can be typed.
    void requireBank() {
        if (m_bank.isEmpty() ||
            m_connection.exec("SELECT 1 FROM kviront.banks WHERE name = $1", {m_bank}).rows() > 0)
            return;
        constexpr int shown = 20;
        const pg::Result r = m_connection.exec(
            "SELECT name FROM kviront.banks ORDER BY name LIMIT $1", {pg::Param(shown + 1)});
        QStringList names;
        for (int i = 0; i < qMin(r.rows(), shown); ++i)
            names << QStringLiteral("«%1»").arg(r.text(i, 0));
        if (r.rows() > shown)
            names << QStringLiteral("…");
        throw Error(QStringLiteral("На сервере %1 нет банка «%2». %3")
                        .arg(m_connection.serverName(), m_bank,
                             names.isEmpty()
                                 ? QStringLiteral("Банков на нём ещё нет.")
                                 : QStringLiteral("Банки на нём: %1.").arg(names.join(", "))));
    }

    void readQuestions() {
        const QByteArray sql = QByteArray("SELECT q.version_id, q.record, q.vopros, q.otvet1, "
                                          "q.otvet2, q.otvet3, q.otvet4, q.pr_otvet "
                                          "FROM kviront.questions q WHERE q.version_id IN "
                                          "(SELECT r.version_id") +
                               selection + ")";
        m_connection.forEachRow(sql.constData(), m_params, [&](const pg::Result& r) {
            Texts t;
            t.vopros = unified(r.text(0, 2));
            for (int k = 0; k < 4; ++k)
                t.otvet[k] = unified(r.text(0, 3 + k));
            t.prOtvet = r.text(0, 7);
            m_texts.insert({r.integer(0, 0), int(r.integer(0, 1))}, t);
        });
    }

    void readRuns() {
        const QByteArray sql =
            QByteArray("SELECT r.id, r.version_id, b.name, v.version, r.trainee, "
                       "r.allowed_seconds, floor(extract(epoch FROM r.started_at))::bigint, "
                       "floor(extract(epoch FROM r.ended_at))::bigint, r.finished, "
                       "(SELECT count(*) FROM kviront.answers a WHERE a.run_id = r.id) = "
                       "v.record_count") +
            selection + " ORDER BY r.started_at, r.id";
        const pg::Result r = m_connection.exec(sql.constData(), m_params);
        for (int i = 0; i < r.rows(); ++i) {
            Run run;
            run.id = r.integer(i, 0);
            run.versionId = r.integer(i, 1);
            run.file = QStringLiteral("сервер: банк «%1», версия %2, попытка %3")
                           .arg(r.text(i, 2), r.text(i, 3), r.text(i, 0));
            run.trainee = r.text(i, 4);
            run.allowed = r.text(i, 5);
            run.started = r.integer(i, 6);
            run.ended = r.isNull(i, 7) ? -1 : r.integer(i, 7);
            // Every record answered is a completed run, even when its end never arrived.
            const bool answeredAll = r.flag(i, 9);
            run.finished = r.flag(i, 8) || answeredAll;
            run.notClosed = answeredAll && run.ended < 0;
            m_runs.append(run);
        }
    }

    // Answers come in the order of the runs; each run is added once its answers are in.
    void readAnswers() {
        const QByteArray sql =
            QByteArray("SELECT a.run_id, a.record, a.option, a.client_seconds, a.server_seconds, "
                       "a.verdict FROM kviront.answers a JOIN (SELECT r.id, r.started_at") +
            selection + ") s ON s.id = a.run_id ORDER BY s.started_at, s.id, a.answered_at";
        qsizetype next = 0;
        results::Protocol protocol;
        m_connection.forEachRow(sql.constData(), m_params, [&](const pg::Result& r) {
            const qint64 runId = r.integer(0, 0);
            while (next < m_runs.size() && m_runs[next].id != runId)
                addRun(m_runs[next++], protocol);
            if (next == m_runs.size())
                return; // a run begun after the snapshot of the runs: not in this report
            const Run& run = m_runs[next];
            const auto t = m_texts.constFind({run.versionId, int(r.integer(0, 1))});
            if (t == m_texts.constEnd())
                return;
            results::QuestionBlock b;
            b.record = int(r.integer(0, 1));
            b.question = t->vopros;
            for (int k = 0; k < 4; ++k)
                b.options[k] = t->otvet[k];
            b.answer = int(r.integer(0, 2));
            b.rightText = t->prOtvet;
            b.rightNumber =
                rightNumberOf(*t, b.answer, r.isNull(0, 5) ? QVariant() : QVariant(r.flag(0, 5)));
            b.usedSeconds = r.number(0, 3);
            b.serverSeconds = r.number(0, 4);
            b.allowedText = run.allowed;
            b.timeOutLines = b.answer == 0;
            protocol.blocks.append(b);
        });
        while (next < m_runs.size())
            addRun(m_runs[next++], protocol);
    }

    void addRun(const Run& run, results::Protocol& p) {
        p.name = run.trainee;
        p.date = dateText(run.started);
        p.headerTime = p.startTime = timeText(run.started);
        p.endTime = run.ended < 0 ? QString() : timeText(run.ended);
        p.finished = run.finished;
        p.notClosed = run.notClosed;
        m_results->add(run.file, p);
        p.blocks.clear();
    }

    pg::Connection m_connection;
    results::ClassResults* m_results;
    QString m_bank;
    QVector<pg::Param> m_params;
    QHash<QPair<qint64, int>, Texts> m_texts;
    QVector<Run> m_runs;
};

} // namespace

QString read(const results::Options& options, results::ClassResults* results) {
    return Reader(options, results).read();
}

} // namespace serverresults
