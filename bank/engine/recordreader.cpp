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
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)));
    }
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
    {
        sqlite::Statement columns(db, QStringLiteral("SELECT * FROM kontrol LIMIT 0"));
        for (int i = 0; i < sqlite3_column_count(columns.get()); ++i) {
            m_names << QString::fromUtf8(sqlite3_column_name(columns.get(), i));
            const char* declared = sqlite3_column_decltype(columns.get(), i);
            const QByteArray type = QByteArray(declared ? declared : "").toUpper();
            m_numeric << numericType(type);
            m_real << realType(type);
        }
    }
    m_rowid = rowidAlias(m_names);
    // Per field: its value unless it is a large binary one, then its type and size. typeof()
    // and length() of a field are answered without reading its bytes.
    QStringList parts;
    for (const QString& name : m_names) {
        const QString c = sqlite::quoted(name);
        parts << QStringLiteral("CASE WHEN typeof(%1) = 'blob' AND length(%1) > %2 THEN NULL "
                                "ELSE %1 END, length(%1)")
                     .arg(c)
                     .arg(largeValue);
    }
    m_fetch = sqlite::Statement(
        db, QStringLiteral("SELECT %1 FROM kontrol WHERE %2 = ?").arg(parts.join(", "), m_rowid));
}

void RecordReader::clear() {
    release();
    m_fetch = sqlite::Statement();
    m_names.clear();
    m_numeric.clear();
    m_real.clear();
    m_rowid.clear();
    m_db = nullptr;
}

void RecordReader::fetch(qint64 rowid, Row& row) {
    const int count = int(m_names.size());
    row.values.fill(QVariant(), count);
    row.largeSizes.fill(-1, count);
    row.missing = false;
    sqlite3_stmt* stmt = m_fetch.get();
    sqlite3_bind_int64(stmt, 1, rowid);
    if (!m_fetch.step()) {
        row.missing = true;
        m_fetch.reset();
        return;
    }
    for (int i = 0; i < count; ++i) {
        // Left unread: no value came, yet the field is not empty.
        if (sqlite3_column_type(stmt, 2 * i) == SQLITE_NULL) {
            const qint64 length = sqlite3_column_int64(stmt, 2 * i + 1);
            if (length > largeValue)
                row.largeSizes[i] = length;
        } else {
            row.values[i] = columnValue(stmt, 2 * i);
        }
    }
    m_fetch.reset();
}

QByteArray RecordReader::readLarge(qint64 rowid, int column, qint64 length) {
    int rc = SQLITE_OK;
    if (m_blob && m_blobColumn == column) {
        rc = sqlite3_blob_reopen(m_blob, rowid);
    } else {
        release();
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

void RecordReader::release() {
    if (m_blob)
        sqlite3_blob_close(m_blob);
    m_blob = nullptr;
    m_blobColumn = -1;
    m_fetch.reset();
}
