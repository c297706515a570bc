#pragma once

#include "stagedfile.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>

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

// Refuses a path under which anything stands, a link that leads nowhere included: "Не удаётся
// создать банк вопросов «…»: такой файл уже есть".
void refuseExisting(const QString& path);

// A new SQLite file: made under a unique temporary name beside `path` (nothing that stands
// there is touched), and given its name only by place(), which never replaces a file that
// appeared meanwhile. Until then, or when anything fails, the file is removed. It gets the
// mode every new file gets. Throws Error naming `path` and the reason.
class NewDatabase {
public:
    explicit NewDatabase(const QString& path);
    ~NewDatabase();
    NewDatabase(const NewDatabase&) = delete;
    NewDatabase& operator=(const NewDatabase&) = delete;

    sqlite3* handle() const { return m_db; }
    void place(); // closes the database and gives the file its name
    [[noreturn]] void fail(const QString& reason) const;

private:
    QString m_path;
    std::unique_ptr<textfile::StagedFile> m_file;
    sqlite3* m_db = nullptr;
};

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
    sqlite3* handle() const { return m_file.handle(); } // for tests that shape odd banks

private:
    NewDatabase m_file;
    struct Insert;
    Insert* m_insert = nullptr;
};

// An empty bank.
void create(const QString& path);

} // namespace bankfile
