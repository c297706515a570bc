#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

struct sqlite3;

// A record as the class server hands it out: everything but its right answer.
struct ServerRecord {
    QString name;
    QString vopros;
    QString otvet[4];
    QByteArray graph; // empty for no picture
};

// A bank on the class server as the engine holds it for a test run: table "kontrol" in a
// database in memory, one row per record (row id = record number), each empty until the run
// has it from the server, and without its right answer (PrOtvet) until the server has recorded
// the answer. The test window fills the rows from what its run job receives: the engine never
// speaks to the server, so walking the table to count it asks the server nothing.
class ServerRows {
public:
    // Throws DatabaseError when the table cannot be made.
    explicit ServerRows(int recordCount);
    ~ServerRows();
    ServerRows(const ServerRows&) = delete;
    ServerRows& operator=(const ServerRows&) = delete;

    sqlite3* handle() const { return m_db; }
    int recordCount() const { return m_count; }

    bool filled(int record) const { return m_filled.contains(record); }
    void fill(int record, const ServerRecord& r);
    bool answered(int record) const { return m_answered.contains(record); }
    void setRightAnswer(int record, const QString& prOtvet);

private:
    void store(int record, const QString& sql, const QVariantList& values);

    sqlite3* m_db = nullptr;
    int m_count = 0;
    QSet<int> m_filled;
    QSet<int> m_answered;
};

// What the question editor says of a server bank file: it changes no server bank.
QString serverBankEditorRefusal(const QString& path);
