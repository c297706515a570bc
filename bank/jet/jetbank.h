#pragma once

#include "error.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>

struct sqlite3;

// Question banks of the old format: Jet 3 / Jet 4 database files (".mdb") that teachers
// already hold. They are read, never written: a separate reader process (kviront-jetread,
// on libmdb) streams table "kontrol", and the program works on a copy.
namespace jetbank {

// The format version from the file's header: 3 or 4 for a Jet file, 0 for anything else
// (including a file that cannot be read or is no plain file: the caller's own checks report
// that). jetVersionOf() reads it from the first headerBytes of a file.
constexpr int headerBytes = 0x18;
int jetVersionOf(const QByteArray& head);
int jetVersion(const QString& path);
inline bool isJetFile(const QString& path) {
    return jetVersion(path) != 0;
}

// The reader or what it wrote failed: "Не удалось прочитать банк старого формата «path»:
// reason".
class ReadError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// The columns of a table as the program uses them.
struct Columns {
    int version = 0;
    bool found = false; // false: the file has no such table
    QStringList names;
    QVector<int> kinds; // jetstream kinds
};

// Reads a table through the reader process, under limits of memory and time: `columns` once,
// then `row` for each record in the file's order as the records arrive, so that no more than
// one is held at a time. Values: numbers as qint64, texts as QString (line breaks as stored),
// binary values as QByteArray (a picture that Access wrapped in an OLE object unwrapped to its
// .bmp file), NULL as an invalid QVariant. Throws ReadError; an error a callback throws ends
// the read and passes as it is.
void readTable(const QString& path, const QString& table,
               const std::function<void(const Columns&)>& columns,
               const std::function<void(QVector<QVariant>& row)>& row);

// What copyTable() lets its caller see, refuse or change: the columns before anything is
// written, each record before it is (`number` from 1).
struct CopyChecks {
    std::function<void(const Columns&)> columns;
    std::function<void(int number, QVector<QVariant>& row)> row;
};

// Makes table "kontrol" in `db` with the columns of the file's table "kontrol" (numbers
// INTEGER, binary BLOB, the rest TEXT) and its records, in order, as they arrive; nothing when
// the file has no such table. Returns the columns and counts the records in `records`.
// Throws as readTable() does, or DatabaseError with the engine's reason for `db`.
Columns copyTable(sqlite3* db, const QString& path, const CopyChecks& checks = {},
                  int* records = nullptr);

// A copy of the file's table "kontrol" (none when the file has none), records in the file's
// order, in a database of its own that lives as long as it is open and keeps in memory no more
// than a bank of ordinary size: the rest waits in a temporary file. The caller closes it.
// Throws DatabaseError naming the file.
sqlite3* openCopy(const QString& path);

// What the question editor tells the user once when a bank of the old format is open.
QString legacyNotice(const QString& path);

// Where the reader program is: in libexec/kviront/ beside the running program's bin/ folder
// (the build tree is laid out as an installation is). Empty when it is not there.
QString readerProgram();

// Limits the reader process runs under.
constexpr int wallSeconds = 10;
constexpr int cpuSeconds = 10;
constexpr qint64 memoryBytes = 512LL * 1024 * 1024;

} // namespace jetbank
