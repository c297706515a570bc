#pragma once

#include "pgconnection.h"

// The teacher's side of a session on the classroom server: how the tools log in, and the lock
// under which one publisher or schema upgrade at a time works.
namespace teachersession {

// The tools' login: a password the server wants and nobody gave is asked at the terminal.
pg::TeacherLogin atTerminal();

// Takes `table`'s lock for the rest of the open transaction: a table only the teacher role and
// the schema's owner may lock this way (an advisory lock anyone could take and keep). When
// another session holds it longer than the tools wait, the transaction is rolled back and
// ServerError (Busy) names who holds it, from where and since when.
void lock(pg::Connection& connection, const char* table);

} // namespace teachersession
