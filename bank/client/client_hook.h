#pragma once

#include <QByteArray>
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
// Sees every reply's body as it arrived; one for which this returns true is dropped, as a
// connection that breaks after the server has answered.
extern std::function<bool(std::string_view path, const QByteArray& body)> dropReply;

} // namespace clienthook
