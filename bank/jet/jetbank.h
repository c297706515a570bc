#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

struct sqlite3;

// Question banks of the old format: Jet 3 / Jet 4 database files (".mdb") that teachers
// already hold. They are read, never written: a separate reader process (kviront-jetread,
// on libmdb) streams table "kontrol", and the program works on a copy in memory.
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

// One table as the program uses it: numbers as qint64, texts as QString (line breaks as
// stored), binary values as QByteArray (a picture that Access wrapped in an OLE object
// unwrapped to its .bmp file), NULL as an invalid QVariant.
struct Table {
    int version = 0;
    bool found = false; // false: the file has no such table
    QStringList names;
    QVector<int> kinds; // jetstream kinds
    QVector<QVector<QVariant>> rows;
};

// Reads a table through the reader process, under limits of memory and time. Throws
// DatabaseError "Не удалось прочитать банк старого формата «path»: reason".
Table readTable(const QString& path, const QString& table = QStringLiteral("kontrol"));

// Makes table "kontrol" in `db` with the table's columns (numbers INTEGER, binary BLOB, the
// rest TEXT) and records, in order. Throws DatabaseError with the engine's reason.
void copyInto(sqlite3* db, const Table& table);

// A database in memory holding the file's table "kontrol" (none when the file has none),
// records in the file's order. The caller closes it. Throws DatabaseError naming the file.
sqlite3* openInMemory(const QString& path);

// What the question editor tells the user once when a bank of the old format is open.
QString legacyNotice(const QString& path);

// Where the reader program is: in libexec/kviront/ beside the running program's bin/ folder
// (the build tree is laid out as an installation is). Empty when it is not there.
QString readerProgram();

// For tests: another reader program and wall-time limit; an empty program restores both.
void setReader(const QString& program, int wallMilliseconds);

// Limits the reader process runs under.
constexpr int wallSeconds = 10;
constexpr int cpuSeconds = 10;
constexpr qint64 memoryBytes = 512LL * 1024 * 1024;

} // namespace jetbank
