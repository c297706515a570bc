#pragma once

#include <QVector>
#include <functional>
#include <string_view>

class Delay;

// What the tests' seams reach (tests/support/seams): the program itself never sets these, and
// nothing that sets them is built into it.
namespace clienthook {

// While set, a started delay waits until a test fires it.
extern bool manualDelays;
// Every delay alive, so that a test can find those running.
QVector<Delay*>& delays();
// A reply for which this returns true is dropped once it has arrived, as a connection that
// breaks after the server has answered.
extern std::function<bool(std::string_view path)> dropReply;

} // namespace clienthook
