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

void copyInto(sqlite3* db, const Table& table) {
    QStringList columns, marks;
    for (int i = 0; i < table.names.size(); ++i) {
        columns << sqlite::quoted(table.names[i]) + QLatin1Char(' ') +
                       QLatin1String(columnType(table.kinds[i]));
        marks << QStringLiteral("?");
    }
    sqlite::exec(db, QStringLiteral("CREATE TABLE kontrol (%1)").arg(columns.join(", ")));
    sqlite::exec(db, QStringLiteral("BEGIN"));
    sqlite::Statement insert(
        db, QStringLiteral("INSERT INTO kontrol VALUES (%1)").arg(marks.join(", ")));
    for (const auto& row : table.rows) {
        for (int i = 0; i < row.size(); ++i)
            sqlite::bind(insert.get(), i + 1, row[i]);
        insert.step();
        insert.reset();
        sqlite3_clear_bindings(insert.get());
    }
    sqlite::exec(db, QStringLiteral("COMMIT"));
}

sqlite3* openInMemory(const QString& path) {
    const Table table = readTable(path);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        throw DatabaseError(
            QStringLiteral("Не удалось прочитать банк старого формата «%1»: нехватка памяти")
                .arg(path));
    }
    try {
        if (table.found)
            copyInto(db, table);
    } catch (const Error& e) {
        sqlite3_close_v2(db);
        throw DatabaseError(QStringLiteral("Не удалось прочитать банк старого формата «%1»: %2")
                                .arg(path, e.message()));
    }
    return db;
}

} // namespace jetbank
