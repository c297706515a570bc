#include "serverresults.h"

#include "pgconnection.h"
#include "schema.h"
#include "serversheets.h"
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
    results::RunExtras extras;
    bool ownOrder = false;
    bool notClosed = false;
};

// The selection, shared by the three queries: $1 the bank's name or NULL, $2 the first moment
// (seconds since the epoch) or NULL, $3 the sitting's name or NULL.
const char* selection = " FROM kviront.runs r"
                        " JOIN kviront.bank_versions v ON v.id = r.version_id"
                        " JOIN kviront.banks b ON b.id = v.bank_id"
                        " LEFT JOIN kviront.sittings st ON st.id = r.sitting_id"
                        " WHERE ($1::text IS NULL OR b.name = $1)"
                        " AND ($2::double precision IS NULL OR r.started_at >= to_timestamp($2))"
                        " AND ($3::text IS NULL OR st.name = $3)";

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

QString shownTime(const pg::Result& r, int column) {
    return QDateTime::fromMSecsSinceEpoch(qint64(r.number(0, column) * 1000))
        .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

class Reader {
public:
    Reader(const results::Options& o, results::ClassResults* results)
        : m_connection(o.server, teachersession::atTerminal()), m_results(results), m_options(o) {
        m_params = {o.bank.isEmpty() ? pg::Param::null() : pg::Param(o.bank),
                    o.since.isValid() ? pg::Param(double(o.since.startOfDay().toSecsSinceEpoch()))
                                      : pg::Param::null(),
                    o.sitting.isEmpty() ? pg::Param::null() : pg::Param(o.sitting)};
    }

    results::ServerRead read() {
        m_connection.connect();
        serverschema::requireCurrent(m_connection);
        m_connection.exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        results::ServerRead out;
        requireNamed("banks", m_options.bank, QStringLiteral("банка"), QStringLiteral("Банков"),
                     QStringLiteral("Банки"));
        requireNamed("sittings", m_options.sitting, QStringLiteral("тестирования"),
                     QStringLiteral("Тестирований"), QStringLiteral("Тестирования"));
        if (!m_options.sitting.isEmpty())
            out.selection = sittingText();
        readQuestions();
        readRuns();
        readAnswers();
        if (!m_options.sheets.isEmpty())
            out.sheets = serversheets::read(m_connection, m_options.sitting, m_options.sheets);
        m_connection.exec("COMMIT");
        out.name = m_connection.serverName();
        return out;
    }

private:
    // A misspelt bank or sitting would read as one nobody has taken yet: name it, and those
    // there are, so the right name can be typed. `table` is ours, never typed.
    void requireNamed(const char* table, const QString& name, const QString& of,
                      const QString& none, const QString& there) {
        const QByteArray from = QByteArray(" FROM kviront.") + table;
        if (name.isEmpty() ||
            m_connection.exec(("SELECT 1" + from + " WHERE name = $1").constData(), {name}).rows() >
                0)
            return;
        constexpr int shown = 20;
        const pg::Result r = m_connection.exec(
            ("SELECT name" + from + " ORDER BY name LIMIT $1").constData(), {pg::Param(shown + 1)});
        QStringList names;
        for (int i = 0; i < qMin(r.rows(), shown); ++i)
            names << QStringLiteral("«%1»").arg(r.text(i, 0));
        if (r.rows() > shown)
            names << QStringLiteral("…");
        throw Error(QStringLiteral("На сервере %1 нет %2 «%3». %4")
                        .arg(m_connection.serverName(), of, name,
                             names.isEmpty()
                                 ? QStringLiteral("%1 на нём ещё нет.").arg(none)
                                 : QStringLiteral("%1 на нём: %2.").arg(there, names.join(", "))));
    }

    // The sitting as the report's heading names it: its bank and version, and its dates.
    QString sittingText() {
        const pg::Result r = m_connection.exec(
            "SELECT b.name, v.version, extract(epoch FROM s.opens_at), "
            "extract(epoch FROM coalesce(s.closed_at, s.closes_at)), s.closed_at IS NOT NULL OR "
            "s.closes_at <= now() FROM kviront.sittings s JOIN kviront.bank_versions v ON v.id = "
            "s.version_id JOIN kviront.banks b ON b.id = v.bank_id WHERE s.name = $1",
            {m_options.sitting});
        const QString end = r.isNull(0, 3) ? QStringLiteral("не закрыто")
                            : r.flag(0, 4) ? QStringLiteral("закрыто %1").arg(shownTime(r, 3))
                                           : QStringLiteral("до %1").arg(shownTime(r, 3));
        return QStringLiteral("тестирование «%1»: банк «%2», версия %3; открыто %4, %5")
            .arg(m_options.sitting, r.text(0, 0), r.text(0, 1), shownTime(r, 2), end);
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
                       "v.record_count, st.grade5, st.grade4, st.grade3, "
                       "r.order_state IS NOT NULL") +
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
            if (!r.isNull(i, 10)) // a run of a sitting: its thresholds
                run.extras.grades = classapi::Grades{int(r.integer(i, 10)), int(r.integer(i, 11)),
                                                     int(r.integer(i, 12))};
            run.ownOrder = r.flag(i, 13);
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

    void addRun(Run& run, results::Protocol& p) {
        if (run.ownOrder) // the answers come in the order they were shown
            for (const results::QuestionBlock& b : p.blocks)
                run.extras.order +=
                    (run.extras.order.isEmpty() ? QString() : QStringLiteral(", ")) +
                    QString::number(b.record);
        p.name = run.trainee;
        p.date = dateText(run.started);
        p.headerTime = p.startTime = timeText(run.started);
        p.endTime = run.ended < 0 ? QString() : timeText(run.ended);
        p.finished = run.finished;
        p.notClosed = run.notClosed;
        m_results->add(run.file, p, run.extras);
        p.blocks.clear();
    }

    pg::Connection m_connection;
    results::ClassResults* m_results;
    const results::Options& m_options;
    QVector<pg::Param> m_params;
    QHash<QPair<qint64, int>, Texts> m_texts;
    QVector<Run> m_runs;
};

} // namespace

results::ServerRead read(const results::Options& options, results::ClassResults* results) {
    return Reader(options, results).read();
}

} // namespace serverresults
