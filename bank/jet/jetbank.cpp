#include "jetbank.h"

#include "error.h"
#include "jetstream_format.h"
#include "sqlite.h"
#include "textfile.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace jetbank {

int jetVersion(const QString& path) {
    // Asked before opening: opening a FIFO would wait for a writer.
    if (!QFileInfo(path).isFile() || !textfile::specialKind(path).isEmpty())
        return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return jetVersionOf(file.read(headerBytes));
}

int jetVersionOf(const QByteArray& head) {
    static const QByteArray signature("Standard Jet DB\0", 16);
    if (head.size() < headerBytes || head.mid(4, 16) != signature)
        return 0;
    // The version byte: 0 Jet 3, 1 Jet 4; later ones are not Jet files (nor this signature).
    switch (head[0x14]) {
    case 0:
        return 3;
    case 1:
        return 4;
    default:
        return 0;
    }
}

QString legacyNotice(const QString& path) {
    return QStringLiteral("Банк вопросов «%1» — старого формата (Microsoft Jet), поэтому "
                          "открыт только для чтения. Чтобы изменять вопросы, сделайте из "
                          "него новый банк командой\nkviront-bank convert СТАРЫЙ.mdb "
                          "НОВЫЙ.mdb\nи откройте новый банк.")
        .arg(path);
}

namespace {

const char* columnType(int kind) {
    switch (kind) {
    case jetstream::kindInteger:
        return "INTEGER";
    case jetstream::kindBinary:
        return "BLOB";
    default:
        return "TEXT";
    }
}

} // namespace

Columns copyTable(sqlite3* db, const QString& path, const CopyChecks& checks, int* records) {
    Columns columns;
    sqlite::Statement insert;
    int count = 0;
    readTable(
        path, QStringLiteral("kontrol"),
        [&](const Columns& found) {
            columns = found;
            if (checks.columns)
                checks.columns(found);
            if (!found.found)
                return;
            QStringList fields, marks;
            for (int i = 0; i < found.names.size(); ++i) {
                fields << sqlite::quoted(found.names[i]) + QLatin1Char(' ') +
                              QLatin1String(columnType(found.kinds[i]));
                marks << QStringLiteral("?");
            }
            sqlite::exec(db, QStringLiteral("CREATE TABLE kontrol (%1)").arg(fields.join(", ")));
            sqlite::exec(db, QStringLiteral("BEGIN"));
            insert = sqlite::Statement(
                db, QStringLiteral("INSERT INTO kontrol VALUES (%1)").arg(marks.join(", ")));
        },
        [&](QVector<QVariant>& row) {
            if (checks.row)
                checks.row(count + 1, row);
            for (int i = 0; i < row.size(); ++i) {
                // A picture is bound where it lies (the row outlives the insert): a large one
                // is not copied once more.
                if (row[i].typeId() == QMetaType::QByteArray) {
                    const QByteArray& bytes = *static_cast<const QByteArray*>(row[i].constData());
                    sqlite3_bind_blob64(insert.get(), i + 1, bytes.constData(),
                                        sqlite3_uint64(bytes.size()), SQLITE_STATIC);
                } else {
                    sqlite::bind(insert.get(), i + 1, row[i]);
                }
            }
            insert.step();
            insert.reset();
            sqlite3_clear_bindings(insert.get());
            ++count;
        });
    if (insert)
        sqlite::exec(db, QStringLiteral("COMMIT"));
    if (records)
        *records = count;
    return columns;
}

sqlite3* openCopy(const QString& path) {
    // An empty name: a private temporary database, kept in memory until its cache is full.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2("", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        throw DatabaseError(
            QStringLiteral("Не удалось прочитать банк старого формата «%1»: нехватка памяти")
                .arg(path));
    }
    try {
        // A bank of a few thousand questions with their pictures stays in memory; a stream the
        // reader's limits still allow, of up to a gigabyte, goes to the temporary file. A copy
        // made anew each time needs no journal.
        sqlite::exec(db, QStringLiteral("PRAGMA cache_size = -65536"));
        sqlite::exec(db, QStringLiteral("PRAGMA journal_mode = OFF"));
        copyTable(db, path);
    } catch (const ReadError&) {
        sqlite3_close_v2(db);
        throw;
    } catch (const Error& e) { // the copy's own database: no room for it, say
        sqlite3_close_v2(db);
        throw DatabaseError(QStringLiteral("Не удалось прочитать банк старого формата «%1»: %2")
                                .arg(path, e.message()));
    }
    return db;
}

} // namespace jetbank
