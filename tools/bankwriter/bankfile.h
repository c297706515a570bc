#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

struct sqlite3;

// Making bank files: the table "kontrol" with its fields, filled with questions. Used by the
// bank tool, the benchmark and the tests; the program itself only opens existing banks.
namespace bankfile {

struct Question {
    QVariant name;    // the sequence number (a number, or text the bank keeps as it is)
    QString vopros;   // question text, line breaks allowed
    QString otvet[4]; // answer options 1 to 4
    QVariant prOtvet; // number of the right answer
    QByteArray graph; // a bitmap file image, or empty
};

// The table every bank holds; Name and PrOtvet take numbers.
extern const char* const schema;

// Writes a new bank file: refuses a path that exists, and leaves nothing behind when it fails
// (the bank is made under a temporary name and renamed when complete). Throws Error naming
// the file.
class Writer {
public:
    explicit Writer(const QString& path);
    ~Writer(); // without commit(): the unfinished file is removed
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void add(const Question& question);
    void commit();
    sqlite3* handle() const { return m_db; } // for tests that shape odd banks

private:
    QString m_path;
    QString m_partPath;
    sqlite3* m_db = nullptr;
    struct Insert;
    Insert* m_insert = nullptr;
};

// An empty bank.
void create(const QString& path);

} // namespace bankfile
