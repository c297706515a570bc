#pragma once

#include "dataset.h"
#include "error.h"
#include "recordreader.h"

#include <QObject>
#include <QVariant>
#include <vector>

class ADOConnection;

// A record could not be read because another program holds the bank locked: trying again
// later may succeed.
class BankLockedError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// The dataset over the whole table "kontrol" of the connected bank, records in stored
// (rowid) order. Only the row ids are held; the current record's row is read when it becomes
// current, so no picture is loaded but the one on screen. The moves of one handler share one
// read of the file, which ends when the event loop next runs: another program may then write
// the same bank.
class ADOTable : public QObject, public Dataset {
    Q_OBJECT
public:
    explicit ADOTable(ADOConnection* connection, QObject* parent = nullptr);
    ~ADOTable() override;

    QString tableName() const { return QStringLiteral("kontrol"); }
    ADOConnection* connection() const { return m_connection; }

    void open() override;
    void close() override;
    bool active() const override { return m_active; }
    State state() const override { return m_state; }

    bool eof() const override;
    bool bof() const override;
    bool isEmpty() const override { return m_rowids.empty(); }
    int recordCount() const override { return int(m_rowids.size()); }
    int recNo() const override { return m_index + 1; }
    void setRecNo(int recNo) override; // a failed read leaves the current record as it was
    void first() override;
    void prior() override;
    void next() override;
    void last() override;

    // The current record is gone: another program deleted it after the table was opened. Its
    // fields read empty.
    bool currentMissing() const { return m_active && m_index >= 0 && m_row.missing; }

    bool hasField(const QString& name) const override { return fieldIndex(name) >= 0; }
    QStringList fieldNames() const override { return m_reader.names(); }
    QString fieldText(const QString& name) const override;
    FieldText fieldTextLater(const QString& name) const override;
    QByteArray fieldBytes(const QString& name) const override;
    qint64 fieldSize(const QString& name) const override;
    QByteArray fieldHead(const QString& name, qint64 maxBytes) const override;
    bool fieldIsNumeric(const QString& name) const override;

    bool canModify() const override;
    // An open bank that may not be changed (no write permission, or the old format).
    bool isReadOnly() const { return m_active && !canModify(); }
    // The open bank is of the old (Jet) format: read-only; the editor says so once.
    bool legacyFormat() const;
    void insert() override;
    void edit() override;
    void post() override;
    void cancel() override;
    void remove() override;
    void refresh() override;
    void checkBrowseMode() override;
    bool modified() const override;
    void setFieldText(const QString& name, const QString& text) override;
    void setFieldBytes(const QString& name, const QByteArray& bytes) override;

    // The connection was destroyed: let go of it without telling anyone.
    void connectionGone();
    // Ends the read in progress: the connection is about to change a row.
    void endRead();
    // The connection changed the row with this row id: re-read and shown if it is current.
    void rowChanged(qint64 rowid);

private:
    int fieldIndex(const QString& name) const;
    int requireField(const QString& name) const;
    // Points into the current record: a move, a post, a cancel or a refresh invalidates it.
    const QVariant& value(const QString& name) const;
    void requireTable();
    void loadRowids(); // after m_reader.prepare(): it knows the name of the row id
    void fetchCurrent();
    void moveTo(int index, bool eofAfter);
    void checkActive() const;
    void reset();
    void notify(void (DataLink::*call)());
    void requireEditing() const;
    void requireWritable() const;
    void setValue(int field, const QVariant& value);
    void writeRecord();
    void placeWritten(qint64 rowid);
    bool rowExists(qint64 rowid) const;
    void beginRead() const;
    QString bankName() const;
    // The current record could not be read: the engine's reason, naming record and bank; a
    // BankLockedError when another program holds the bank locked.
    [[noreturn]] void readFailed(const DatabaseError& cause) const;

    ADOConnection* m_connection;
    bool m_active = false;
    State m_state = State::Inactive;
    std::vector<qint64> m_rowids;
    int m_index = -1; // 0-based position of the current record; -1 with none
    bool m_eof = false;
    mutable RecordReader m_reader;
    mutable RecordReader::Row m_row; // the current record (with the changes while editing)
    RecordReader::Row m_spareRow;    // the one read before: its storage takes the next read
    QVector<bool> m_changed;
    mutable bool m_reading = false; // a read transaction is open until the event loop runs
};
