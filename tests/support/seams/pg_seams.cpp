#include "pg_seams.h"

void pg::setTestHooks(TestHooks* hooks) {
    pghook::watch = hooks;
}
