#pragma once

#include <QString>

// Texts the test window shows in its status line and in notices.
namespace runtexts {

QString building();                                   // the order is being drawn
QString built();                                      // the order is ready
QString questionStatus(int displayNumber, int count); // the question on screen
QString rightVerdict();
QString wrongVerdict(const QString& rightAnswerText); // the right answer as the record stores it
QString timedOut();
QString result(double right, double wrong, int count);
// The bank changed under a running test: questions another program deleted, and a bank it
// holds locked (waited for, then given up after `seconds`).
QString skipped(int count);
QString bankLocked();
QString bankLockedTooLong(int seconds);
QString runEndedUnread(); // after the reason the next question could not be read
// Banks a run cannot take.
QString emptyBank();
QString tooLargeBank(int maxQuestions);
// The classroom server could not be reached during a run: the notice, once per wait, and the
// status line while the window waits for it. `answer`: an answer waits to be recorded;
// otherwise the next question waits to be shown.
QString serverLost(const QString& server, bool answer);
QString serverWaiting(bool answer);

} // namespace runtexts
