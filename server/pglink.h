#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

// One database connection of a worker thread, over libpq. Every statement is sent on its own,
// outside any transaction block, so each is one short transaction; values always travel as
// parameters. A connection that broke is dropped and made anew at the next statement.
namespace kvserver {

struct PgParam {
    std::string value;
    bool null = false;
    bool binary = false; // bytes (a bytea), not text
};

class PgRows {
public:
    PgRows() : m_result(nullptr) {}
    explicit PgRows(pg_result* result) : m_result(result) {}
    ~PgRows();
    PgRows(PgRows&& other) noexcept : m_result(other.m_result) { other.m_result = nullptr; }
    PgRows(const PgRows&) = delete;
    PgRows& operator=(const PgRows&) = delete;
    PgRows& operator=(PgRows&&) = delete;

    int rows() const;
    bool isNull(int row, int column) const;
    std::string_view text(int row, int column) const; // or the bytes of a binary result
    long long integer(int row, int column) const;
    double number(int row, int column) const;
    bool flag(int row, int column) const; // a boolean of a text result

private:
    pg_result* m_result;
};

// The connection broke (or could not be made) during a statement: worth one more try on a
// new connection, since every operation answers a repeat as it answered the first.
struct PgLost {
    std::string why;
};

struct PgStatement {
    const char* sql;
    std::vector<PgParam> params;
    bool binaryResult = false;
};

class PgLink {
public:
    explicit PgLink(std::string conninfo) : m_conninfo(std::move(conninfo)) {}
    ~PgLink();
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    // Throws PgLost when the connection broke or cannot be made, Refused for what the
    // server's functions refuse or a passing trouble of the database, std::runtime_error for
    // anything else (the server's own fault, logged).
    PgRows exec(const char* sql, const std::vector<PgParam>& params = {},
                bool binaryResult = false);
    // The statements sent at once and answered in one round trip, each still a transaction of
    // its own that commits before the next one starts (a sync after each). Their rows in order;
    // throws as exec() the first statement's failure, once every result has been read.
    std::vector<PgRows> pipeline(const std::vector<PgStatement>& statements);
    void drop();

private:
    void connect();
    PgLost lost(const std::string& why); // drops the connection
    [[noreturn]] void fail(pg_result* result);

    std::string m_conninfo;
    pg_conn* m_conn = nullptr;
    std::chrono::steady_clock::time_point m_lastFailure{};
};

} // namespace kvserver
