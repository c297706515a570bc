#pragma once

#include <functional>

struct pg_conn;
struct pg_result;

// What the tests' seams reach (tests/support/seams): the program itself never sets this, and
// nothing that sets it is built into it.
namespace pghook {

// Watches every call: after the statement went out, and each result as it arrived.
struct Watch {
    std::function<void(const char* sql, pg_conn*)> afterSend;
    std::function<void(const char* sql, pg_result*)> received;
};
extern Watch* watch;

} // namespace pghook
