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
// A sitting that keeps its right answers until it closes: the verdict without the number, and
// what the protocol says in the right answer's place.
QString wrongVerdictHidden();
QString hiddenRightAnswer();
QString withGrade(const QString& resultText, int grade); // the sitting shows the grade too
// The bank changed under a running test: questions another program deleted, and a bank it
// holds locked (waited for, then given up after `seconds`).
QString skipped(int count);
QString bankLocked();
QString bankLockedTooLong(int seconds);
QString runEndedUnread(); // after the reason the next question could not be read
// Banks a run cannot take.
QString emptyBank();
QString tooLargeBank(int maxQuestions);
// A run on the class server. What the window waits for while a request is on its way: the
// start (`start`), an answer to be recorded (`answer`) or the next question.
QString serverBusy(bool start, bool answer, const QString& server);
// The server is away (`reason` says how): the status line while the request is sent again, and
// the notice once the trouble has lasted. `journaled`: the answer is written on this computer;
// `journalProblem` says why it could not be, when it could not.
QString serverWaiting(bool answer, const QString& reason, bool journaled);
QString serverStartWaiting(const QString& reason);
QString serverAway(const QString& server, bool answer, const QString& journalProblem);
QString serverStartAway(const QString& server, const QString& reason);
// The trainee confirms whose run the code starts (`answered`: answers the run already has).
QString serverConfirmCaption();
QString serverConfirm(const QString& trainee, const QString& bank, int answered);
// After the server's reason for refusing the run's next step.
QString runEndedByServer();

} // namespace runtexts
