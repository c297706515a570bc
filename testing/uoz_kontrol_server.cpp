// A test run on a server bank: a run job of the data module's outbox starts it on the class
// server, brings each question when the run shows it and records each answer there before the
// window scores it, so the right answer reaches the window only with the recorded answer. The
// window never waits on the network: it asks the job and goes on when the job's signal comes.
// While the server is away the job keeps the answer in its journal and sends it again; the
// window stops the countdown, says what it waits for, and lets "Закрыть БД" end the run.
#include "uoz_kontrol.h"

#include "classapi.h"
#include "dataModule.h"
#include "dbcontrols.h"
#include "dialogs.h"
#include "formats.h"
#include "guard.h"
#include "numbers.h"
#include "outbox.h"
#include "ouz_reg.h"
#include "run_texts.h"
#include "runjob.h"
#include "serverbankfile.h"
#include "serverrows.h"
#include "timer.h"
#include "traineecode.h"
#include "uoz_kontrol_time.h"
#include "vivodsoobsh.h"

#include <QAction>
#include <QLineEdit>
#include <QSysInfo>

namespace {

ADOConnection* connection() {
    return DataModule1->ADOConnectionControl;
}

ServerRows* serverRows() {
    return connection()->serverRows();
}

int shownRecord() {
    return DataModule1->ADOTableControl->recNo();
}

// What the record's right answer reads as: the bank's text, or that the sitting keeps it.
QString rightAnswerText(const classclient::RecordedAnswer& a) {
    return a.answerHidden ? runtexts::hiddenRightAnswer() : a.rightAnswer;
}

} // namespace

void TuozKontrol::startServerRun(const QString& path) {
    const serverbank::SittingLink link = serverbank::readSitting(path);
    // Whatever an earlier run left unsent goes first, without a word to anyone.
    DataModule1->classRuns->sendJournal();
    QString code;
    if (!traineecode::ask(CodeForm, &code))
        return; // as a cancelled file dialog: pick again
    m_serverPath = path;
    m_journalProblem.clear();
    m_job = DataModule1->classRuns->newRun(link);
    // Queued: a signal is handled from the window's own loop, never inside the job's reply.
    connect(
        m_job, &RunJob::started, this,
        [this](const classclient::RunInfo& r) { guard([&] { serverRunStarted(r); }); },
        Qt::QueuedConnection);
    connect(
        m_job, &RunJob::questionReady, this,
        [this](const classclient::Question& q) { guard([&] { serverQuestionArrived(q); }); },
        Qt::QueuedConnection);
    connect(
        m_job, &RunJob::answerRecorded, this,
        [this](const classclient::RecordedAnswer& a) { guard([&] { serverAnswerArrived(a); }); },
        Qt::QueuedConnection);
    connect(
        m_job, &RunJob::waiting, this,
        [this](bool lasting, const QString& why) { guard([&] { serverWaiting(lasting, why); }); },
        Qt::QueuedConnection);
    connect(
        m_job, &RunJob::failed, this,
        [this](const QString& why) { guard([&] { serverFailed(why); }); }, Qt::QueuedConnection);
    connect(
        m_job, &RunJob::journalFailed, this,
        [this](const QString& message) {
            m_journalProblem = message;
            showAside([&] { showErrorBox(errorBoxText(message)); });
        },
        Qt::QueuedConnection);
    N9->setEnabled(true);
    LockRunMenu();
    m_job->start(code, FormReg->Edit5->text(), QSysInfo::machineHostName());
    waitForServer(ServerWait::Start);
}

void TuozKontrol::serverRunStarted(const classclient::RunInfo& run) {
    if (!m_job || m_serverWait != ServerWait::Start)
        return;
    endServerWait();
    bool confirmed = false;
    showAside([&] {
        confirmed = dialogs::confirm(
            this, runtexts::serverConfirmCaption(),
            runtexts::serverConfirm(run.trainee, run.bank, int(run.answers.size())));
    });
    if (!m_job)
        return; // the window was closed meanwhile
    if (!confirmed) {
        // Not this trainee's code: back to choosing a bank. The run stays on the server as it
        // is, untouched, for its owner.
        releaseServerRun();
        N9->setEnabled(false);
        N3->setEnabled(true);
        N4->setEnabled(true);
        N8->setEnabled(true);
        setStatus(QString(), Qt::black);
        return;
    }
    m_serverRun = run;
    // The sitting's time, whatever the answer-time window says; it shows it and cannot change
    // it while the run goes on.
    Edit4->setText(numbers::intToStr(run.seconds));
    runState().countdown = run.seconds;
    Edit3->setText(Edit4->text());
    uozKontrol_Time->lockTo(run.seconds);
    connection()->openServerRun(m_serverPath, run.records);
    DataModule1->ADOTableControl->open();
    m_recorded.clear();
    m_replay.clear();
    for (const classclient::RecordedAnswer& a : run.answers) {
        m_recorded.insert(a.record, a);
        m_replay.append(a.record);
    }
    if (!run.resumed) {
        beginRun();
        return;
    }
    // A run taken up again: the questions already answered come first, to be written into the
    // protocol as they were, and before anything is written the server says whether the run
    // can go on at all (a run that has ended cannot: then no protocol is begun).
    for (int record : m_replay.isEmpty() ? QVector<int>{1} : m_replay)
        m_job->fetchQuestion(record);
    waitForServer(ServerWait::Replay);
}

// The run enters the journal with its order and the protocol's start, so that after a crash
// the same run goes on in the same order.
void TuozKontrol::keepServerRun() {
    const RunState& s = runState();
    QVector<int> order(s.questionCount + 1);
    for (int i = 1; i <= s.questionCount; ++i)
        order[i] = s.questionOrder[i];
    m_job->keep(order, s.headerLine, m_startClock);
}

bool TuozKontrol::serverQuestionReady() {
    ServerRows* rows = serverRows();
    if (!rows || !m_job || rows->filled(shownRecord()))
        return true;
    setAnswerFieldsEnabled(false);
    Timer3->setEnabled(false);
    if (m_serverWait != ServerWait::Question) {
        m_job->fetchQuestion(shownRecord());
        waitForServer(ServerWait::Question);
    }
    return false;
}

bool TuozKontrol::serverAnswerRecorded(int option) {
    ServerRows* rows = serverRows();
    if (!rows || rows->answered(shownRecord()))
        return true; // a file bank, or the server has recorded it
    if (!m_job || m_serverWait == ServerWait::Answer)
        return false;
    LockQuestion(); // the countdown waits with the answer
    const double allowed = numbers::strToFloat(Edit4->text());
    m_job->sendAnswer(shownRecord(), option, allowed - secondsShown(runState(), allowed));
    waitForServer(ServerWait::Answer);
    return false;
}

// A question of a resumed run that the server already has an answer for is written into the
// protocol as it was given, without a notice, and the run moves on. True when it did so.
bool TuozKontrol::replayRecorded() {
    ServerRows* rows = serverRows();
    RunState& s = runState();
    const int record = qMax(s.currentRecord, 1);
    if (!rows || !m_replay.contains(record))
        return false;
    m_replay.removeOne(record);
    const classclient::RecordedAnswer a = m_recorded.value(record);
    s.answerNumber = a.option;
    LockQuestion();
    // The block says the seconds the trainee's program counted then.
    const double allowed = numbers::strToFloat(Edit4->text());
    s.countdown = allowed - a.seconds - 1.0;
    WriteQuestionBlock();
    if (a.option == 0) {
        s.wrongCount += 1.0;
        WriteTimeOutLines();
    } else if (a.answerHidden) {
        if (a.right)
            (*a.right ? s.rightCount : s.wrongCount) += 1.0;
    } else {
        double right = 0;
        bool number = true;
        try {
            right = rightAnswerNumber();
        } catch (const Error&) {
            number = false; // counted neither way, as when it was given
        }
        if (number)
            (right == double(a.option) ? s.rightCount : s.wrongCount) += 1.0;
    }
    AdvanceQuestion();
    return true;
}

void TuozKontrol::finishServerRun(bool completed) {
    if (!m_job || m_serverRun.token.isEmpty())
        return;
    m_job->finish(completed);
    releaseServerRun();
}

void TuozKontrol::serverQuestionArrived(const classclient::Question& q) {
    if (!m_job)
        return;
    ServerRecord record{
        q.name, q.vopros, {q.otvet[0], q.otvet[1], q.otvet[2], q.otvet[3]}, q.graph};
    if (m_serverWait == ServerWait::Replay) {
        connection()->fillServerRecord(q.record, record);
        const auto a = m_recorded.constFind(q.record);
        if (a != m_recorded.constEnd())
            connection()->setServerRightAnswer(q.record, rightAnswerText(*a));
        for (int r : m_replay.isEmpty() ? QVector<int>{1} : m_replay)
            if (!serverRows()->filled(r))
                return; // more to come
        endServerWait();
        afterNotice([this] { beginRun(); });
        return;
    }
    if (m_serverWait != ServerWait::Question || q.record != shownRecord())
        return;
    connection()->fillServerRecord(q.record, record);
    endServerWait();
    afterNotice([this] { ShowQuestion(); });
}

void TuozKontrol::serverAnswerArrived(const classclient::RecordedAnswer& a) {
    if (!m_job || m_serverWait != ServerWait::Answer || a.record != shownRecord())
        return;
    m_recorded.insert(a.record, a);
    connection()->setServerRightAnswer(a.record, rightAnswerText(a));
    endServerWait();
    // The answer as the server recorded it: a late one is a time-out.
    const int option = a.option;
    afterNotice([this, option] {
        if (option == 0)
            TimeOutQuestion();
        else
            answer(option);
    });
}

void TuozKontrol::serverWaiting(bool lasting, const QString& reason) {
    if (!m_job || m_serverWait == ServerWait::None)
        return;
    const bool start = m_serverWait == ServerWait::Start;
    const bool answer = m_serverWait == ServerWait::Answer;
    setStatus(start ? runtexts::serverStartWaiting(reason)
                    : runtexts::serverWaiting(answer, reason, m_journalProblem.isEmpty()),
              Qt::red);
    // Passing trouble the trainee need not hear of goes by in the status line; a longer one is
    // told once per wait. The job goes on sending while the notice is up.
    if (!lasting || m_serverNoticeShown)
        return;
    m_serverNoticeShown = true;
    const QString server = m_job->serverName();
    const QString text = start ? runtexts::serverStartAway(server, reason)
                               : runtexts::serverAway(server, answer, m_journalProblem);
    showAside([&] { raiseNotice(text); });
}

void TuozKontrol::serverFailed(const QString& reason) {
    if (!m_job)
        return;
    const ServerWait was = m_serverWait;
    endServerWait();
    afterNotice([this, was, reason] {
        if (was == ServerWait::Start || was == ServerWait::Replay) {
            // As an open that failed: the box says why and another bank may be picked.
            releaseServerRun();
            ResetRun();
            N8->setEnabled(true);
            showErrorBox(errorBoxText(reason));
            return;
        }
        // The run cannot go on: it ends at once, its protocol saved.
        showErrorBox(errorBoxText(reason) + QStringLiteral("\n\n") + runtexts::runEndedByServer());
        N9Click();
    });
}

void TuozKontrol::waitForServer(ServerWait what) {
    if (m_serverWait == ServerWait::None) {
        m_statusBeforeWait = Edit1->text();
        m_colourBeforeWait = Edit1->palette().color(QPalette::Text);
    }
    m_serverWait = what;
    m_serverNoticeShown = false;
    const QString server = m_job ? m_job->serverName() : QString();
    setStatus(runtexts::serverBusy(what == ServerWait::Start, what == ServerWait::Answer, server),
              Qt::black);
}

void TuozKontrol::endServerWait() {
    if (m_serverWait == ServerWait::None)
        return;
    m_serverWait = ServerWait::None;
    setStatus(m_statusBeforeWait, m_colourBeforeWait);
}

void TuozKontrol::releaseServerRun() {
    endServerWait();
    m_afterNotice = nullptr;
    if (m_job) {
        m_job->disconnect(this);
        m_job->release(); // what it holds for the server it still sends
        m_job = nullptr;
    }
    m_serverRun = {};
    m_recorded.clear();
    m_replay.clear();
    uozKontrol_Time->unlock();
}

void TuozKontrol::showAside(const std::function<void()>& show) {
    ++m_noticeDepth;
    show();
    --m_noticeDepth;
    if (m_noticeDepth == 0 && m_afterNotice) {
        const std::function<void()> step = std::move(m_afterNotice);
        m_afterNotice = nullptr;
        step();
    }
}

void TuozKontrol::afterNotice(const std::function<void()>& step) {
    if (m_noticeDepth > 0)
        m_afterNotice = step; // at once when the notice has been acknowledged
    else
        step();
}

QString TuozKontrol::traineeName(bool forFileName) const {
    // A server run bears the name the class list gives (or the one signed in, for a code
    // without a name), as the server keeps it.
    if (!m_serverRun.token.isEmpty())
        return m_serverRun.trainee;
    return forFileName ? FormReg->Edit4->text() : FormReg->Edit5->text();
}

const classclient::RecordedAnswer* TuozKontrol::hiddenAnswer() const {
    if (m_serverRun.token.isEmpty())
        return nullptr;
    const auto a = m_recorded.constFind(shownRecord());
    return a != m_recorded.constEnd() && a->answerHidden ? &*a : nullptr;
}

// The server's verdict as given; an answer it could not judge (a right answer that is not a
// number) counts neither way, as it does when the right answer is shown.
void TuozKontrol::scoreHidden(const classclient::RecordedAnswer& a) {
    if (a.right == true) {
        ScoreRight();
        return;
    }
    if (a.right == false)
        runState().wrongCount += 1.0;
    raiseNotice(runtexts::wrongVerdictHidden());
}

QString TuozKontrol::resultNotice() const {
    const RunState& s = runState();
    const QString text = runtexts::result(s.rightCount, s.wrongCount, questionsInRun(s));
    if (!m_serverRun.grades)
        return text;
    const auto& g = *m_serverRun.grades;
    return runtexts::withGrade(
        text, classapi::gradeOf(int(s.rightCount), questionsInRun(s), {g[0], g[1], g[2]}));
}

double TuozKontrol::rightAnswerNumber() const {
    // From the record: the hidden edit would cut a text longer than it can hold. A server run
    // reads it with the sitting's decimal separator, as the server's verdict does.
    const QString text = recordText(PrOtvet->dataField());
    if (m_serverRun.token.isEmpty())
        return numbers::strToFloat(text);
    formats::Settings& f = formats::settings();
    const QChar own = f.decimalSeparator;
    f.decimalSeparator = m_serverRun.decimalSeparator;
    try {
        const double value = numbers::strToFloat(text);
        f.decimalSeparator = own;
        return value;
    } catch (...) {
        f.decimalSeparator = own;
        throw;
    }
}
