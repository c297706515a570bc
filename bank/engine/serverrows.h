#pragma once

#include "runsession.h"

#include <QSet>
#include <memory>

struct sqlite3;

// A bank on the classroom server as the engine holds it for a test run: table "kontrol" in a
// database in memory, one row per record (row id = record number), each empty until the run
// shows it and without its right answer (PrOtvet) until the server has recorded its answer.
// The server learns of a record only when it is shown: walking the table to count it, or
// returning to its first record, asks nothing of the server.
class ServerRows {
public:
    // Reads the server bank file and starts the run. Throws DatabaseError (the file) or
    // ServerError (the server), each naming what and why.
    ServerRows(const QString& path, const serverbank::RunRequest& request);
    ~ServerRows();
    ServerRows(const ServerRows&) = delete;
    ServerRows& operator=(const ServerRows&) = delete;

    sqlite3* handle() const { return m_db; }
    serverbank::RunSession& session() { return *m_session; }

    bool shown(int record) const { return m_shown.contains(record); }
    // Fills the record's row from the server, the first time only. Throws ServerError.
    void show(int record);
    // Records the answer and puts the right answer into the row. Throws ServerError.
    void answer(int record, int option, double seconds);

private:
    void store(int record, const QString& sql, const QVariantList& values);

    std::unique_ptr<serverbank::RunSession> m_session;
    sqlite3* m_db = nullptr;
    QSet<int> m_shown;
};

// What the question editor says of a server bank file: it changes no server bank.
QString serverBankEditorRefusal(const QString& path);
