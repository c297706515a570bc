// Showing the next question of a run whose bank another program may change meanwhile: a
// question deleted from it is passed over, a bank held locked is waited for.
#include "uoz_kontrol.h"

#include "dataModule.h"
#include "dbcontrols.h"
#include "error.h"
#include "guard.h"
#include "run_texts.h"
#include "timer.h"
#include "vivodsoobsh.h"

#include <QLineEdit>

namespace {
// A read that finds the bank locked gives up after this and tries again from the timer, so
// the window never stands still for longer. The timer spaces the later tries itself.
constexpr int firstReadWaitMs = 100;
constexpr int laterReadWaitMs = 10;

void tellSkipped(int& count) {
    if (count > 0)
        raiseNotice(runtexts::skipped(count));
    count = 0;
}
} // namespace

void TuozKontrol::presentQuestion() {
    RunState& s = runState();
    int skipped = 0;
    for (;;) {
        bool read = false;
        try {
            read = readQuestion(firstReadWaitMs);
        } catch (const Error& e) {
            tellSkipped(skipped);
            endRunUnread(e);
            return;
        }
        if (!read) {
            tellSkipped(skipped);
            // After the result nothing more is asked: the end-of-run check ends the run.
            if (s.finishedFlag != 1.0)
                waitForBank();
            return;
        }
        if (!DataModule1->ADOTableControl->currentMissing()) {
            // A question whose answer the server already has (a run taken up again) is written
            // into the protocol as it was, not put again.
            if (s.finishedFlag == 1.0 || !replayRecorded())
                break;
            continue;
        }
        if (s.finishedFlag == 1.0) { // the result is told; an empty record is not shown as one
            tellSkipped(skipped);
            return;
        }
        ++skipped;
        ++s.skippedCount;
        if (orderExhausted(s))
            tellSkipped(skipped); // before the result, which the advance tells
        AdvanceQuestion();
    }
    tellSkipped(skipped);
    ShowQuestion();
}

// Makes the record of the next question current: false when another program holds the bank
// locked. A record that is gone is current all the same (currentMissing()).
bool TuozKontrol::readQuestion(int lockWaitMs) {
    const RunState& s = runState();
    ADOTable* table = DataModule1->ADOTableControl;
    const ADOConnection::BriefLockWait brief(table->connection(), lockWaitMs);
    try {
        table->setRecNo(qMax(s.currentRecord, 1));
        // Its picture too, while the bank is open to this read: later, when it is painted,
        // the lock may be back.
        DBImage1->picture();
    } catch (const BankLockedError&) {
        return false;
    }
    return true;
}

void TuozKontrol::waitForBank() {
    setAnswerFieldsEnabled(false);
    Timer3->setEnabled(false);
    setStatus(runtexts::bankLocked(), Qt::black);
    m_bankWaitTries = 0;
    m_bankWait->setEnabled(true);
}

// The next question cannot be read at all (the bank was damaged, or its table removed): the
// run cannot go on, and ends as if abandoned, its protocol saved.
void TuozKontrol::endRunUnread(const Error& error) {
    stopWaitingForBank();
    showErrorBox(errorBoxText(error.message()) + QStringLiteral("\n\n") +
                 runtexts::runEndedUnread());
    N9Click();
}

void TuozKontrol::bankWaitTick() {
    bool read = false;
    try {
        read = readQuestion(laterReadWaitMs);
    } catch (const Error& e) {
        endRunUnread(e);
        return;
    }
    if (!read) {
        if (++m_bankWaitTries < bankWaitTries)
            return;
        stopWaitingForBank();
        raiseNotice(runtexts::bankLockedTooLong(bankWaitTries * bankWaitIntervalMs / 1000));
        N9Click(); // the run ends as if abandoned: its protocol is saved
        return;
    }
    stopWaitingForBank();
    presentQuestion();
}

void TuozKontrol::stopWaitingForBank() {
    m_bankWait->setEnabled(false);
}
