#pragma once

#include "pg_hook.h"

// The seam of the classroom server's connection, for tests only: nothing here is built into
// the programs.
namespace pg {
// What a test may watch or break in every call: after the statement went out, and each
// result as it arrived. nullptr: nothing.
using TestHooks = pghook::Watch;
void setTestHooks(TestHooks* hooks);
} // namespace pg
