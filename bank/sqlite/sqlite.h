#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

// Thin helpers over the SQLite C library for the bank engine and the bank tool.
namespace sqlite {

// A prepared statement, finalized when it goes.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const QString& sql); // throws DatabaseError
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept : m_stmt(other.m_stmt) { other.m_stmt = nullptr; }
    Statement& operator=(Statement&& other) noexcept;

    sqlite3_stmt* get() const { return m_stmt; }
    explicit operator bool() const { return m_stmt != nullptr; }
    bool step();  // true with a row; throws DatabaseError on failure
    void reset(); // ends the statement's read, so other programs may write

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// Starts the SQLite library and proves it works: an in-memory database answers a query and
// the library is new enough for what the engine uses (3.37). Throws DatabaseError naming SQLite.
void checkEngine();
// The reason for the last failure on `db`, in Russian: what the engine said, worded for the
// user, with the system's reason where the engine had one (a full disk, a refused folder).
QString lastError(sqlite3* db);
// The same for a result code (extended where known), errno (0: none) and the engine's text.
QString reason(int code, int systemError, const QString& message);
// Runs SQL that returns no rows; throws DatabaseError.
void exec(sqlite3* db, const QString& sql);
// "name" quoted as an SQL identifier.
QString quoted(const QString& name);
// Binds `value` to parameter `at` (from 1): whole numbers, reals, text as UTF-8 and bytes as
// blobs; anything else, and a null value, as NULL.
void bind(sqlite3_stmt* stmt, int at, const QVariant& value);

} // namespace sqlite
