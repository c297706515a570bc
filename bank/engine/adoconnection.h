#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <memory>

struct sqlite3;
class ADOTable;
class ServerRows;
struct ServerRecord;

// The connection to a bank file (a SQLite database). Connecting opens an existing file
// read-write (read-only when the file is), never creates one. Errors: DatabaseError with a
// Russian message naming the file. An old-format (Jet) bank is read into memory instead and
// the file is left alone (see jetbank.h). A server bank file is refused by open(): the test
// window starts its run on the class server and then opens the run's records, held in memory
// as the run receives them (openServerRun, serverrows.h).
class ADOConnection : public QObject {
    Q_OBJECT
public:
    explicit ADOConnection(QObject* parent = nullptr);
    ~ADOConnection() override;

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
    // Connects to the records of a run on the class server that the server bank file `path`
    // names: `recordCount` empty rows, read-only. Throws DatabaseError.
    void openServerRun(const QString& path, int recordCount);
    // The run on the class server of an open server bank; nullptr for a bank file.
    ServerRows* serverRows() const { return m_server.get(); }
    // The record's row as the server handed it out, and then its right answer once the server
    // has recorded the answer; the tables on the connection read the row again. Throws
    // DatabaseError.
    void fillServerRecord(int record, const ServerRecord& r);
    void setServerRightAnswer(int record, const QString& prOtvet);
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
    std::unique_ptr<ServerRows> m_server; // owns m_db for a server bank
};
