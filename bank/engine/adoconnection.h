#pragma once

#include "runsession.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

struct sqlite3;
class ADOTable;
class ServerRows;

// The connection to a bank file (a SQLite database). Connecting opens an existing file
// read-write (read-only when the file is), never creates one. Errors: DatabaseError with a
// Russian message naming the file. An old-format (Jet) bank is read into memory instead and
// the file is left alone (see jetbank.h). A server bank file starts a run on the classroom
// server, whose records are held in memory as the run shows them (see serverrows.h).
class ADOConnection : public QObject {
    Q_OBJECT
public:
    explicit ADOConnection(QObject* parent = nullptr);
    ~ADOConnection() override;

    // Whom a server bank's run is for: the test window sets it before it opens a bank. Without
    // it (the question editor) a server bank file is refused: no one may change it here.
    void setRunRequest(const std::optional<serverbank::RunRequest>& request) {
        m_runRequest = request;
    }

    QString connectionString() const { return m_connectionString; }
    void setConnectionString(const QString& value); // the chosen path, verbatim
    // Connects to the file named by the connection string; opening an open connection does
    // nothing. (Named open/close, not connect/disconnect, which QObject has already.)
    void open();
    void close(); // closes the dataset(s) on it first; closing a closed one does nothing
    bool connected() const { return m_db != nullptr; }
    bool readOnly() const { return m_readOnly; }
    // A bank of the old (Jet) format: read into memory when connecting, so read-only.
    bool legacyFormat() const { return m_legacy; }
    // The run on the classroom server of an open server bank; nullptr for a bank file.
    ServerRows* serverRows() const { return m_server.get(); }
    // The run shows `record` (1 …): its row is filled from the server the first time, and the
    // tables re-read it. Throws ServerError.
    void showServerRecord(int record);
    // Records the answer to `record` on the server and puts its right answer into the row.
    // Throws ServerError.
    void answerServerRecord(int record, int option, double seconds);
    // Why an open bank cannot be changed, as the editor says it when opening; empty for a bank
    // that can.
    QString readOnlyNotice() const;
    QString provider() const; // "Microsoft.Jet.OLEDB.4.0", kept for the record only
    bool loginPrompt() const { return false; }

    // For the datasets on this connection.
    sqlite3* handle() const { return m_db; }
    QString fileName() const { return m_connectionString; }
    void attachTable(ADOTable* table);
    void detachTable(ADOTable* table);

    // How long a read or write waits for a bank that another program holds locked.
    static constexpr int lockWaitMs = 2000;

    // Within its scope the connection waits at most `ms` for a locked bank: for a caller
    // that tries again later rather than hold up its window.
    class BriefLockWait {
    public:
        BriefLockWait(const ADOConnection* connection, int ms);
        ~BriefLockWait();
        BriefLockWait(const BriefLockWait&) = delete;
        BriefLockWait& operator=(const BriefLockWait&) = delete;

    private:
        sqlite3* m_db;
    };

private:
    template <class Change> void changeServerRow(int record, Change change);

    QString m_connectionString;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    bool m_legacy = false;
    QString m_readOnlyCause;
    QVector<ADOTable*> m_tables;
    std::optional<serverbank::RunRequest> m_runRequest;
    std::unique_ptr<ServerRows> m_server; // owns m_db for a server bank
};
