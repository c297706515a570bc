#pragma once

#include "core_seams.h"
#include "delay.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <string_view>

// The seams of the class client, for tests and benchmarks only: nothing
// here is built into the programs.
struct DelaySeam {
    // Manual delays wait, once started, until a test fires them.
    static void setManual(bool manual);
    static bool manual();
    // The handler of `delay` now, as the wait's end would run it.
    static void fire(Delay* delay);
    // Fires every delay of `kind` running now (not those it starts); returns how many fired.
    static int fireAll(Delay::Kind kind);
    static QVector<Delay*> running(Delay::Kind kind);
};

namespace classclient {
// A reply for which the filter returns true is dropped once it has arrived, as a connection
// that breaks after the server has answered; nullptr drops none. The filter sees every reply's
// body as the program received it.
using ReplyFilter = std::function<bool(std::string_view path, const QByteArray& body)>;
void setReplyFilter(ReplyFilter filter);
} // namespace classclient
