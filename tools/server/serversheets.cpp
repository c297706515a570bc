#include "serversheets.h"

#include "answersheet.h"

#include <QDateTime>
#include <QDir>

namespace serversheets {
namespace {

// A name longer than this is cut: a class list allows 1000 characters, a file name 255 bytes.
constexpr int maxNameChars = 60;

answersheet::Sheet sheetOf(pg::Connection& c, qint64 run, const std::string& madeAt) {
    const pg::Result h =
        c.exec((std::string("SELECT ") + answersheet::headColumns + " FROM kviront.sheet_head($1)")
                   .c_str(),
               {run});
    answersheet::Sheet s = answersheet::headOf(
        h, [&](int column) { return h.text(0, column).toStdString(); },
        [&](int column) {
            return h.isNull(0, column)
                       ? std::string()
                       : QDateTime::fromMSecsSinceEpoch(qint64(h.number(0, column) * 1000))
                             .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                             .toStdString();
        });
    s.madeAt = madeAt;
    const pg::Result l =
        c.exec((std::string("SELECT ") + answersheet::lineColumns + " FROM kviront.sheet_lines($1)")
                   .c_str(),
               {run});
    for (int i = 0; i < l.rows(); ++i)
        s.lines.push_back(answersheet::lineOf(
            l, i, s.answersHidden, [&](int column) { return l.text(i, column).toStdString(); }));
    return s;
}

} // namespace

QString fileName(int position, const QString& trainee) {
    QString name = trainee.left(maxNameChars);
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    if (name.isEmpty())
        name = QStringLiteral("без имени");
    return QStringLiteral("%1 — %2.html").arg(position, 2, 10, QLatin1Char('0')).arg(name);
}

QList<results::OutputFile> read(pg::Connection& c, const QString& sitting, const QString& folder) {
    const std::string madeAt =
        QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")).toStdString();
    const pg::Result runs = c.exec("SELECT r.id, k.position, r.trainee FROM kviront.runs r "
                                   "JOIN kviront.sittings s ON s.id = r.sitting_id "
                                   "JOIN kviront.codes k ON k.id = r.code_id "
                                   "WHERE s.name = $1 ORDER BY k.position",
                                   {sitting});
    const QDir dir(folder);
    QList<results::OutputFile> files;
    for (int i = 0; i < runs.rows(); ++i) {
        const answersheet::Sheet s = sheetOf(c, runs.integer(i, 0), madeAt);
        files.append({dir.filePath(fileName(int(runs.integer(i, 1)), runs.text(i, 2))),
                      QByteArray::fromStdString(answersheet::html(s))});
    }
    return files;
}

} // namespace serversheets
