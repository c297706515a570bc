#pragma once

#include "sqlite.h"

#include <QStringList>
#include <QVariant>
#include <QVector>

struct sqlite3;
struct sqlite3_blob;

// Reads single records of table "kontrol" by row id. A large binary value (a picture) in a
// field not declared for texts or whole numbers is not read with its record: only its size
// is, and its bytes are read when they are asked for, so walking through a bank reads a
// picture only where it is wanted.
class RecordReader {
public:
    static constexpr qint64 largeValue = 16 * 1024;

    struct Row {
        QVector<QVariant> values;   // NULL, qint64, double, QString or QByteArray
        QVector<qint64> largeSizes; // bytes of a value left unread; -1 where it was read
        // Texts not yet made into QString (where values holds nothing yet): their UTF-8
        // bytes [textAt, textAt + textSize) of `texts`; textAt -1 where values holds it.
        QByteArray texts;
        QVector<qsizetype> textAt;
        QVector<qsizetype> textSize;
        bool missing = false; // no such row (deleted by another program)

        void clear(int count); // every field NULL
        // The text of field i from its bytes, kept in values from then on.
        void makeText(int i) {
            values[i] = QString::fromUtf8(texts.constData() + textAt[i], textSize[i]);
            textAt[i] = -1;
        }
    };

    RecordReader() = default;
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Learns the table's fields and prepares the reads. Throws DatabaseError, with the reason
    // alone, also for a table whose rows cannot be addressed (see rowid()).
    void prepare(sqlite3* db);
    void clear();
    const QStringList& names() const { return m_names; }
    // The name that addresses the table's rows: "rowid", "_rowid_" or "oid", whichever the
    // table does not declare as a column of its own (which would shadow the row id).
    const QString& rowid() const { return m_rowid; }
    const QVector<bool>& numeric() const { return m_numeric; }
    // Numeric fields that keep every number as a double (SQLite's real affinity).
    const QVector<bool>& real() const { return m_real; }

    // Throws DatabaseError. With `hold`, the caller's read transaction lasts until release():
    // the read stays on the row, so that fetching the row after it steps on instead of
    // looking it up anew (a walk through the table). Without, the read ends here.
    void fetch(qint64 rowid, Row& row, bool hold = false);
    // Bytes of a large value left unread by fetch(). Throws DatabaseError.
    QByteArray readLarge(qint64 rowid, int column, qint64 length);
    // Ends every read in progress (before the transaction they belong to ends).
    void release();

private:
    // Puts the read on the row: true when there is one with that row id.
    bool moveTo(qint64 rowid);
    void endWalk();
    void closeBlob();

    sqlite3* m_db = nullptr;
    QStringList m_names;
    QVector<bool> m_numeric;
    QVector<bool> m_real;
    QString m_rowid;
    sqlite::Statement m_fetch;
    QVector<int> m_valueColumn; // per field: its result column
    QVector<int> m_sizeColumn;  // per field: the result column of its size, -1 for none
    qint64 m_at = 0;            // the row id m_fetch is on, while m_onRow
    bool m_onRow = false;
    sqlite3_blob* m_blob = nullptr;
    int m_blobColumn = -1;
};
