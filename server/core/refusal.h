#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

// How the class server says no: a status, an "error" code from classapi::error and a Russian
// message the trainee's program can show; passing refusals (429, 503) say when to try again.
namespace kvserver {

struct Refusal {
    int status = 400;
    std::string_view error;
    std::string message;
    int retryAfter = 0; // seconds; sent as Retry-After when not 0
};

// A refusal thrown from deep inside a request's handling, answered as it stands.
class Refused : public std::exception {
public:
    explicit Refused(Refusal refusal) : m_refusal(std::move(refusal)) {}
    const Refusal& refusal() const noexcept { return m_refusal; }
    const char* what() const noexcept override { return m_refusal.message.c_str(); }

private:
    Refusal m_refusal;
};

Refusal badRequest(std::string message);
Refusal tooLarge();
Refusal headerTooLarge();
Refusal noSuchPath();
Refusal methodNotAllowed();
Refusal tooMany(int retryAfter);
Refusal tooManyConnections();
// The database is away, busy or the pool has no room: the request may be sent again.
Refusal unavailable(int retryAfter);

// The refusal for an error the server's SQL functions raise (SQLSTATE KV001 … KV021), or for
// a passing trouble of the database (a lost connection, a timeout, a lock, too many clients);
// none for any other SQLSTATE, which is the server's own fault.
std::optional<Refusal> refusalForSqlState(std::string_view sqlState);

// {"error": …, "message": …}
std::string refusalBody(const Refusal& refusal);

} // namespace kvserver
