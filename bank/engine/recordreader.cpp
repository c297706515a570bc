#include "recordreader.h"

#include "error.h"

#include <sqlite3.h>

namespace {

// Column types that take numbers only (SQLite's integer, real and numeric affinities).
bool numericType(const QByteArray& type) {
    if (type.contains("INT"))
        return true;
    if (type.isEmpty() || type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT") ||
        type.contains("BLOB"))
        return false;
    return true;
}

// Texts or whole numbers (SQLite's text and integer affinities): what the bank's own fields
// are declared for, except its pictures.
bool shortValuesType(const QByteArray& type) {
    return type.contains("INT") || type.contains("CHAR") || type.contains("CLOB") ||
           type.contains("TEXT");
}

// Of those, the real affinity, which keeps every number as a double.
bool realType(const QByteArray& type) {
    return numericType(type) && !type.contains("INT") &&
           (type.contains("REAL") || type.contains("FLOA") || type.contains("DOUB"));
}

QVariant columnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
        const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        return QVariant(QByteArray(blob, sqlite3_column_bytes(stmt, column)));
    }
    default:
        return QVariant();
    }
}

// Records are addressed by their row id, so a table must have one.
void requireRowids(sqlite3* db) {
    sqlite::Statement shape(db, QStringLiteral("SELECT wr FROM pragma_table_list "
                                               "WHERE schema = 'main' AND name = 'kontrol' "
                                               "COLLATE NOCASE"));
    if (shape.step() && sqlite3_column_int(shape.get(), 0) != 0)
        throw DatabaseError(QStringLiteral("она объявлена WITHOUT ROWID, а программа находит "
                                           "записи по номерам строк (rowid), которых у такой "
                                           "таблицы нет"));
}

// A column of the table's own named rowid (or _rowid_, oid) hides the row id behind that
// name; the first of the three names the table leaves free addresses the rows.
QString rowidAlias(const QStringList& columns) {
    for (const char* alias : {"rowid", "_rowid_", "oid"})
        if (!columns.contains(QLatin1String(alias), Qt::CaseInsensitive))
            return QLatin1String(alias);
    throw DatabaseError(QStringLiteral("в ней есть свои поля rowid, _rowid_ и oid, за которыми "
                                       "номера строк, по которым программа находит записи, "
                                       "недоступны"));
}

} // namespace

RecordReader::~RecordReader() {
    clear();
}

void RecordReader::prepare(sqlite3* db) {
    clear();
    requireRowids(db);
    m_db = db;
    QVector<bool> readWhole;
    {
        sqlite::Statement columns(db, QStringLiteral("SELECT * FROM kontrol LIMIT 0"));
        for (int i = 0; i < sqlite3_column_count(columns.get()); ++i) {
            m_names << QString::fromUtf8(sqlite3_column_name(columns.get(), i));
            const char* declared = sqlite3_column_decltype(columns.get(), i);
            const QByteArray type = QByteArray(declared ? declared : "").toUpper();
            m_numeric << numericType(type);
            readWhole << shortValuesType(type);
            m_real << realType(type);
        }
    }
    m_rowid = rowidAlias(m_names);
    // Per field: its value unless it is a large binary one, then its type and size. typeof()
    // and length() of a field are answered without reading its bytes, yet asking them costs
    // more than reading a short value: a field declared for texts or whole numbers holds a
    // picture only in a bank put together by hand, and is read with its record.
    QStringList parts{m_rowid};
    for (int i = 0; i < m_names.size(); ++i) {
        const QString c = sqlite::quoted(m_names[i]);
        m_valueColumn << int(parts.size());
        if (readWhole[i]) {
            m_sizeColumn << -1;
            parts << c;
            continue;
        }
        m_sizeColumn << int(parts.size()) + 1;
        parts << QStringLiteral("CASE WHEN typeof(%1) = 'blob' AND length(%1) > %2 THEN NULL "
                                "ELSE %1 END")
                     .arg(c)
                     .arg(largeValue)
              << QStringLiteral("length(%1)").arg(c);
    }
    // In the order of the row ids from the one asked for on, so that a walk steps on.
    m_fetch =
        sqlite::Statement(db, QStringLiteral("SELECT %1 FROM kontrol WHERE %2 >= ? ORDER BY %2")
                                  .arg(parts.join(QLatin1String(", ")), m_rowid));
}

void RecordReader::clear() {
    release();
    m_fetch = sqlite::Statement();
    m_names.clear();
    m_numeric.clear();
    m_real.clear();
    m_valueColumn.clear();
    m_sizeColumn.clear();
    m_rowid.clear();
    m_db = nullptr;
}

bool RecordReader::moveTo(qint64 rowid) {
    if (m_onRow && rowid == m_at)
        return true;
    if (m_onRow && rowid > m_at) { // a walk: the next row of the read, unless rows went
        m_onRow = m_fetch.step();
        if (m_onRow)
            m_at = sqlite3_column_int64(m_fetch.get(), 0);
        if (m_onRow && m_at >= rowid)
            return m_at == rowid; // past it: no such row, as the read sees the table
    }
    endWalk();
    sqlite3_bind_int64(m_fetch.get(), 1, rowid);
    m_onRow = m_fetch.step();
    if (m_onRow)
        m_at = sqlite3_column_int64(m_fetch.get(), 0);
    return m_onRow && m_at == rowid;
}

void RecordReader::endWalk() {
    m_fetch.reset();
    m_onRow = false;
}

void RecordReader::Row::clear(int count) {
    values.fill(QVariant(), count);
    largeSizes.fill(-1, count);
    textAt.fill(-1, count);
    textSize.fill(0, count);
    texts.resize(0);
    missing = false;
}

void RecordReader::fetch(qint64 rowid, Row& row, bool hold) {
    const int count = int(m_names.size());
    row.clear(count);
    try {
        row.missing = !moveTo(rowid);
    } catch (...) {
        m_onRow = false; // the failed step has reset the read
        throw;
    }
    sqlite3_stmt* stmt = m_fetch.get();
    for (int i = 0; i < count && !row.missing; ++i) {
        const int column = m_valueColumn[i];
        switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_TEXT: { // its characters are made when it is asked for
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            row.textAt[i] = row.texts.size();
            row.textSize[i] = sqlite3_column_bytes(stmt, column);
            row.texts.append(text, row.textSize[i]);
            break;
        }
        case SQLITE_NULL: // left unread: no value came, yet the field is not empty
            if (m_sizeColumn[i] >= 0) {
                const qint64 length = sqlite3_column_int64(stmt, m_sizeColumn[i]);
                if (length > largeValue)
                    row.largeSizes[i] = length;
            }
            break;
        default:
            row.values[i] = columnValue(stmt, column);
        }
    }
    if (!hold)
        endWalk();
}

QByteArray RecordReader::readLarge(qint64 rowid, int column, qint64 length) {
    int rc = SQLITE_OK;
    if (m_blob && m_blobColumn == column) {
        rc = sqlite3_blob_reopen(m_blob, rowid);
    } else {
        closeBlob();
        rc = sqlite3_blob_open(m_db, "main", "kontrol", m_names[column].toUtf8().constData(), rowid,
                               0, &m_blob);
        m_blobColumn = column;
    }
    if (rc != SQLITE_OK) {
        const QString reason = sqlite::lastError(m_db);
        release();
        throw DatabaseError(reason);
    }
    const qint64 size = qMin<qint64>(length, sqlite3_blob_bytes(m_blob));
    QByteArray bytes(size, Qt::Uninitialized);
    if (sqlite3_blob_read(m_blob, bytes.data(), int(size), 0) != SQLITE_OK) {
        const QString reason = sqlite::lastError(m_db);
        release();
        throw DatabaseError(reason);
    }
    return bytes;
}

void RecordReader::closeBlob() {
    if (m_blob)
        sqlite3_blob_close(m_blob);
    m_blob = nullptr;
    m_blobColumn = -1;
}

void RecordReader::release() {
    closeBlob();
    endWalk();
}
