// A test run on a server bank: each question comes from the classroom server when the run
// shows it, and each answer is recorded there before the window scores it, so the right answer
// reaches the window only with the recorded answer. A lost connection makes the window wait,
// resending with growing pauses, while its clock and its other windows go on.
#include "uoz_kontrol.h"

#include "dataModule.h"
#include "numbers.h"
#include "run_texts.h"
#include "runsession.h"
#include "serverrows.h"
#include "timer.h"
#include "vivodsoobsh.h"

#include <QLineEdit>

namespace {

ADOConnection* connection() {
    return DataModule1->ADOConnectionControl;
}

int shownRecord() {
    return DataModule1->ADOTableControl->recNo();
}

} // namespace

bool TuozKontrol::serverQuestionReady() {
    if (!connection()->serverRows())
        return true;
    try {
        connection()->showServerRecord(shownRecord());
        return true;
    } catch (const ServerError& e) {
        if (!e.connectionLost()) {
            endRunUnread(e); // the question is gone from the server: the run cannot go on
            return false;
        }
    }
    setAnswerFieldsEnabled(false);
    Timer3->setEnabled(false);
    waitForServer(ServerWait::Question);
    return false;
}

bool TuozKontrol::serverAnswerRecorded(int option) {
    ServerRows* rows = connection()->serverRows();
    if (!rows || rows->session().recorded(shownRecord()))
        return true; // a file bank, or the answer came back after a wait
    LockQuestion();  // the countdown waits with the answer
    const double allowed = numbers::strToFloat(Edit4->text());
    m_pendingOption = option;
    m_pendingSeconds = allowed - secondsShown(runState(), allowed);
    try {
        connection()->answerServerRecord(shownRecord(), option, m_pendingSeconds);
        return true;
    } catch (const ServerError& e) {
        // Refused (the run ended elsewhere, say): the error box says why and the run is ended
        // with "Закрыть БД", as after any answer that cannot be scored.
        if (!e.connectionLost())
            throw;
    }
    waitForServer(ServerWait::Answer);
    return false;
}

void TuozKontrol::finishServerRun(bool completed) {
    ServerRows* rows = connection()->serverRows();
    if (!rows || rows->session().ended())
        return;
    endServerWait();
    try {
        rows->session().finish(completed);
    } catch (const ServerError& e) {
        if (!e.connectionLost())
            throw;
        // The protocol is written; a completed run is told to the server once it is back. An
        // abandoned one stays unfinished there, which is what it is.
        if (completed) {
            m_serverWait = ServerWait::Finish;
            m_resendAttempt = 0;
            scheduleResend();
        }
    }
}

void TuozKontrol::waitForServer(ServerWait what) {
    m_serverWait = what;
    m_resendAttempt = 0;
    m_statusBeforeWait = Edit1->text();
    m_colourBeforeWait = Edit1->palette().color(QPalette::Text);
    const bool answer = what == ServerWait::Answer;
    setStatus(runtexts::serverWaiting(answer), Qt::red);
    raiseNotice(runtexts::serverLost(connection()->serverRows()->session().serverName(), answer));
    // The window may have been closed, or the run ended, while the notice was up.
    if (m_serverWait == what)
        scheduleResend();
}

void TuozKontrol::scheduleResend() {
    m_serverResend->setEnabled(false);
    m_serverResend->setInterval(serverbank::resendDelayMs(++m_resendAttempt));
    m_serverResend->setEnabled(true);
}

void TuozKontrol::endServerWait() {
    m_serverResend->setEnabled(false);
    const ServerWait was = m_serverWait;
    m_serverWait = ServerWait::None;
    if (was == ServerWait::Answer || was == ServerWait::Question)
        setStatus(m_statusBeforeWait, m_colourBeforeWait);
}

void TuozKontrol::serverResendTick() {
    m_serverResend->setEnabled(false);
    const ServerWait what = m_serverWait;
    ServerRows* rows = connection()->serverRows();
    if (what == ServerWait::None || !rows) {
        m_serverWait = ServerWait::None;
        return;
    }
    try {
        if (what == ServerWait::Answer)
            connection()->answerServerRecord(shownRecord(), m_pendingOption, m_pendingSeconds);
        else if (what == ServerWait::Question)
            connection()->showServerRecord(shownRecord());
        else
            rows->session().finish(true);
    } catch (const ServerError& e) {
        if (e.connectionLost()) {
            scheduleResend();
            return;
        }
        endServerWait();
        if (what != ServerWait::Question)
            throw;
        endRunUnread(e);
        return;
    }
    endServerWait();
    // The step goes on where it stopped.
    if (what == ServerWait::Answer) {
        if (m_pendingOption == 0)
            TimeOutQuestion();
        else
            answer(m_pendingOption);
    } else if (what == ServerWait::Question) {
        ShowQuestion();
    }
}
