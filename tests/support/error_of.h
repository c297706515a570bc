#pragma once

#include "error.h"

#include <QString>

// The message of the `E` that `action` throws, or "" when it throws none. Other exceptions
// go on to the test, which fails on them.
template <class E = Error, class Action> QString errorOf(Action&& action) {
    try {
        action();
    } catch (const E& e) {
        return e.message();
    }
    return QString();
}
