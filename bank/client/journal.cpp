#include "journal.h"

#include "stagedfile.h"
#include "textfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace classjournal {
namespace {

constexpr qint64 maxJournalBytes = 64 * 1024 * 1024;

[[noreturn]] void fail(const QString& path, int error) {
    const QString reason = textfile::systemReason(error);
    throw FileError(QStringLiteral("Не удалось записать журнал ответов «%1»: %2").arg(path, reason),
                    reason);
}

// The folder and the ones above it; the program's own folder only for this user, as it holds
// the runs' tokens.
void makeFolder(const QString& path, mode_t mode) {
    if (QFileInfo(path).isDir())
        return;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path)
        makeFolder(parent, 0700);
    if (::mkdir(QFile::encodeName(path).constData(), mode) != 0 && errno != EEXIST)
        fail(path, errno);
}

// Held while the journal is read and rewritten.
class Lock {
public:
    explicit Lock(const QString& folder) {
        makeFolder(folder, 0700);
        const QString path = QDir(folder).filePath(QStringLiteral("journal.lock"));
        m_fd = ::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0)
            fail(path, errno);
        while (::flock(m_fd, LOCK_EX) != 0)
            if (errno != EINTR)
                fail(path, errno);
    }
    ~Lock() { ::close(m_fd); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    int m_fd = -1;
};

QJsonObject toJson(const RunEntry& r) {
    QJsonArray order;
    for (int record : r.order)
        order.append(record);
    QJsonArray answers;
    for (const PendingAnswer& a : r.answers)
        answers.append(QJsonObject{
            {QStringLiteral("record"), a.record},
            {QStringLiteral("option"), a.option},
            {QStringLiteral("seconds"), a.seconds},
        });
    QJsonObject o{
        {QStringLiteral("server"), r.server},
        {QStringLiteral("certificate"), QString::fromLatin1(r.certificate)},
        {QStringLiteral("sitting"), r.sitting},
        {QStringLiteral("token"), r.token},
        {QStringLiteral("records"), r.records},
        {QStringLiteral("order"), order},
        {QStringLiteral("header"), r.headerLine},
        {QStringLiteral("startClock"), r.startClock},
        {QStringLiteral("answers"), answers},
        {QStringLiteral("written"), double(r.written)},
    };
    if (r.end)
        o.insert(QStringLiteral("end"), *r.end);
    return o;
}

RunEntry fromJson(const QJsonObject& o) {
    RunEntry r;
    r.server = o.value(QLatin1String("server")).toString();
    r.certificate = o.value(QLatin1String("certificate")).toString().toLatin1();
    r.sitting = o.value(QLatin1String("sitting")).toString();
    r.token = o.value(QLatin1String("token")).toString();
    r.records = o.value(QLatin1String("records")).toInt();
    for (const QJsonValue& v : o.value(QLatin1String("order")).toArray())
        r.order.append(v.toInt());
    r.headerLine = o.value(QLatin1String("header")).toString();
    r.startClock = o.value(QLatin1String("startClock")).toString();
    for (const QJsonValue& v : o.value(QLatin1String("answers")).toArray()) {
        const QJsonObject a = v.toObject();
        r.answers.append({a.value(QLatin1String("record")).toInt(),
                          a.value(QLatin1String("option")).toInt(),
                          a.value(QLatin1String("seconds")).toDouble()});
    }
    const QJsonValue end = o.value(QLatin1String("end"));
    if (end.isBool())
        r.end = end.toBool();
    r.written = qint64(o.value(QLatin1String("written")).toDouble());
    return r;
}

QByteArray journalBytes(const QVector<RunEntry>& runs) {
    QJsonArray list;
    for (const RunEntry& r : runs)
        list.append(toJson(r));
    return QJsonDocument(
               QJsonObject{{QStringLiteral("journal"), 1}, {QStringLiteral("runs"), list}})
        .toJson(QJsonDocument::Compact);
}

// A file of ours that does not read is set aside for a person to look at, never written over.
void setAside(const QString& file) {
    const QString aside =
        file + QStringLiteral(".damaged-%1").arg(QDateTime::currentMSecsSinceEpoch());
    if (::rename(QFile::encodeName(file).constData(), QFile::encodeName(aside).constData()) != 0)
        fail(file, errno);
}

QVector<RunEntry>::iterator find(QVector<RunEntry>& runs, const QString& token) {
    return std::find_if(runs.begin(), runs.end(),
                        [&](const RunEntry& r) { return r.token == token; });
}

qint64 now() {
    return QDateTime::currentSecsSinceEpoch();
}

} // namespace

QString defaultFolder() {
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    // The XDG base-directory rules take only an absolute path; anything else falls back.
    const QString base = !data.isEmpty() && data.startsWith('/')
                             ? QFile::decodeName(data)
                             : QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/kviront");
}

Journal::Journal(QString folder) : m_folder(std::move(folder)) {}

QString Journal::path() const {
    return QDir(m_folder).filePath(QStringLiteral("journal"));
}

QString Journal::refusedPath() const {
    return QDir(m_folder).filePath(QStringLiteral("refused"));
}

QVector<RunEntry> Journal::read() const {
    const QString file = path();
    if (!QFileInfo::exists(file))
        return {};
    const QByteArray bytes = textfile::readFile(file, maxJournalBytes);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonValue runs = document.object().value(QLatin1String("runs"));
    if (error.error != QJsonParseError::NoError || !runs.isArray()) {
        setAside(file); // the program goes on with an empty journal
        return {};
    }
    QVector<RunEntry> out;
    for (const QJsonValue& v : runs.toArray())
        out.append(fromJson(v.toObject()));
    return out;
}

template <class Change> void Journal::change(Change apply) const {
    const Lock lock(m_folder);
    QVector<RunEntry> runs = read();
    if (apply(runs))
        textfile::writeFileAtomically(path(), journalBytes(runs), textfile::Links::Refuse);
}

QVector<RunEntry> Journal::runs() const {
    if (!QFileInfo(m_folder).isDir())
        return {};
    const Lock lock(m_folder);
    return read();
}

std::optional<RunEntry> Journal::run(const QString& token) const {
    for (const RunEntry& r : runs())
        if (r.token == token)
            return r;
    return std::nullopt;
}

void Journal::keepRun(const RunEntry& entry) {
    change([&](QVector<RunEntry>& runs) {
        RunEntry kept = entry;
        kept.written = now();
        const auto it = find(runs, entry.token);
        if (it == runs.end()) {
            runs.append(kept);
        } else {
            kept.answers = it->answers;
            kept.end = it->end;
            *it = kept;
        }
        return true;
    });
}

void Journal::addAnswer(const QString& token, const PendingAnswer& answer) {
    change([&](QVector<RunEntry>& runs) {
        const auto it = find(runs, token);
        if (it == runs.end())
            return false;
        for (const PendingAnswer& a : it->answers)
            if (a.record == answer.record)
                return false; // the first answer to a record is the one
        it->answers.append(answer);
        it->written = now();
        return true;
    });
}

void Journal::answerSent(const QString& token, int record) {
    change([&](QVector<RunEntry>& runs) {
        const auto it = find(runs, token);
        if (it == runs.end())
            return false;
        const auto before = it->answers.size();
        it->answers.removeIf([&](const PendingAnswer& a) { return a.record == record; });
        it->written = now();
        return it->answers.size() != before;
    });
}

void Journal::setEnd(const QString& token, bool completed) {
    change([&](QVector<RunEntry>& runs) {
        const auto it = find(runs, token);
        if (it == runs.end() || it->end)
            return false;
        it->end = completed;
        it->written = now();
        return true;
    });
}

void Journal::endSent(const QString& token) {
    change([&](QVector<RunEntry>& runs) {
        return runs.removeIf([&](const RunEntry& r) { return r.token == token; }) > 0;
    });
}

void Journal::refuse(const QString& token, int record, const QString& reason) {
    const Lock lock(m_folder);
    QVector<RunEntry> runs = read();
    const auto it = find(runs, token);
    if (it == runs.end())
        return;
    QJsonObject entry{
        {QStringLiteral("server"), it->server},
        {QStringLiteral("sitting"), it->sitting},
        {QStringLiteral("token"), token},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}};
    if (record == 0) {
        entry.insert(QStringLiteral("end"), it->end.value_or(false));
    } else {
        for (const PendingAnswer& a : it->answers)
            if (a.record == record) {
                entry.insert(QStringLiteral("record"), a.record);
                entry.insert(QStringLiteral("option"), a.option);
                entry.insert(QStringLiteral("seconds"), a.seconds);
            }
    }
    // The refused file first: should the journal's rewrite fail, the entry is in both, never in
    // neither.
    QJsonArray refused;
    if (QFileInfo::exists(refusedPath())) {
        const QJsonDocument old =
            QJsonDocument::fromJson(textfile::readFile(refusedPath(), maxJournalBytes));
        if (old.isArray())
            refused = old.array();
        else
            setAside(refusedPath());
    }
    refused.append(entry);
    textfile::writeFileAtomically(refusedPath(), QJsonDocument(refused).toJson(),
                                  textfile::Links::Refuse);
    if (record == 0)
        runs.erase(it);
    else
        it->answers.removeIf([&](const PendingAnswer& a) { return a.record == record; });
    textfile::writeFileAtomically(path(), journalBytes(runs), textfile::Links::Refuse);
}

void Journal::prune(qint64 at, qint64 maxAgeSeconds) {
    if (!QFileInfo::exists(path()))
        return;
    change([&](QVector<RunEntry>& runs) {
        return runs.removeIf([&](const RunEntry& r) {
            return r.answers.isEmpty() && !r.end && at - r.written > maxAgeSeconds;
        }) > 0;
    });
}

} // namespace classjournal
