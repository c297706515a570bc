#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

// The journal of class-server runs on this computer: every answer and every run's end is
// written here, durably, before it is sent, and taken out once the server has it. It holds
// the server's address and certificate, the run, and what is needed to send again and to go on
// with the run after a crash: nothing else, and never a right answer. An entry the server
// refuses for good moves to the file "refused" beside it, with the reason.
//
// One file, rewritten whole under a lock for every change (write, fsync, rename), so two
// programs of the same user on one computer never lose each other's entries.
namespace classjournal {

struct PendingAnswer {
    int record = 0;
    int option = 0; // 0: the time ran out
    double seconds = 0;
};

struct RunEntry {
    QString server; // https://…
    QByteArray certificate;
    QString sitting;
    QString token;
    int records = 0;
    QVector<int> order;             // the run's question order, positions 1 … records
    QString headerLine;             // the protocol's first line as the run began
    QString startClock;             // the time after "Тест начат в "
    QVector<PendingAnswer> answers; // given and not yet recorded by the server, in order
    std::optional<bool> end;        // the run's end, completed or not, once given
    qint64 written = 0;             // seconds since the epoch of the last change
};

// $XDG_DATA_HOME/kviront, or ~/.local/share/kviront.
QString defaultFolder();

class Journal {
public:
    explicit Journal(QString folder = defaultFolder());

    const QString& folder() const { return m_folder; }
    QString path() const;
    QString refusedPath() const;

    // Every change throws FileError naming the file and the reason; the journal stays as it
    // was. A journal that does not read is set aside as "journal.damaged-…", never dropped.
    QVector<RunEntry> runs() const;
    std::optional<RunEntry> run(const QString& token) const;
    // Adds the run, or updates its own fields keeping what it has to send.
    void keepRun(const RunEntry& entry);
    void addAnswer(const QString& token, const PendingAnswer& answer);
    void answerSent(const QString& token, int record);
    void setEnd(const QString& token, bool completed);
    // The server has the run's end: the run leaves the journal.
    void endSent(const QString& token);
    // The server refused the answer to `record` (0: the run's end) for good: it moves to the
    // refused file with the reason.
    void refuse(const QString& token, int record, const QString& reason);
    // Runs with nothing to send whose last change is older than `maxAgeSeconds`: left by a
    // crash and never taken up again.
    void prune(qint64 now, qint64 maxAgeSeconds);

private:
    template <class Change> void change(Change apply) const;
    QVector<RunEntry> read() const;

    QString m_folder;
};

} // namespace classjournal
