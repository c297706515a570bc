// The run engine of the test window: opening a bank, presenting, scoring and advancing.
#include "uoz_kontrol.h"

#include "dataModule.h"
#include "dbcontrols.h"
#include "formats.h"
#include "numbers.h"
#include "ouz_reg.h"
#include "protocol_store.h"
#include "random.h"
#include "run_texts.h"
#include "timer.h"
#include "uoz_kontrol_time.h"
#include "vivodsoobsh.h"

#include <QAction>
#include <QLineEdit>

void TuozKontrol::N8Click() {
    RunState& s = runState();
    Timer3->setEnabled(false);
    closeTable();
    Memo1->clear();
    Edit4->setText(s.timeSettingsOpenedFlag == 1.0 ? uozKontrol_Time->Edit4->text()
                                                   : QStringLiteral("35"));
    s.countdown = numbers::strToFloat(Edit4->text());
    ClearQuestionOrder();
    releaseServerRun();
    QString serverFile;
    if (!openBank(OpenDialog1, this, &serverFile))
        return;
    if (!serverFile.isEmpty()) {
        // The run starts on the class server first; beginRun() follows its start.
        startServerRun(serverFile);
        return;
    }
    beginRun();
}

// The rest of "Открыть БД" once the bank's records are open: count, header, order, first question.
void TuozKontrol::beginRun() {
    RunState& s = runState();
    s.questionCount = 0;
    s.currentRecord = 0;
    s.displayNumber = 0;
    N9->setEnabled(true);
    if (!countRecords())
        return;
    // Said before the first question, not after the last: the protocol will go elsewhere.
    const QString warning = protocolstore::startWarning();
    if (!warning.isEmpty())
        raiseNotice(warning);
    s.finishedFlag = 0.0;
    Timer1->setEnabled(true);
    closeTable();
    // A run taken up again on this computer keeps the start and the order it had.
    m_kept = m_job && !m_replay.isEmpty() ? m_job->kept() : std::nullopt;
    WriteProtocolHeader();
    setStatus(runtexts::building(), Qt::black);
    BuildQuestionOrder();
    if (m_job)
        keepServerRun();
    m_kept.reset();
    DataModule1->ADOTableControl->open();
    LockRunMenu();
    Edit1->setText(runtexts::built());
    s.runStartedFlag = 1.0;
    s.protocolSavedFlag = 0.0;
    presentQuestion();
}

// Walks the table to count its records. A bank with no records, or with more than the order
// can hold, is refused before any run starts: the table is closed again and "Открыть БД"
// stays usable for another bank.
bool TuozKontrol::countRecords() {
    RunState& s = runState();
    Dataset* table = DataModule1->ADOTableControl;
    while (!table->eof() && s.questionCount <= questionorder::maxQuestions) {
        ++s.questionCount;
        table->next();
    }
    if (s.questionCount >= 1 && s.questionCount <= questionorder::maxQuestions)
        return true;
    const QString notice = s.questionCount == 0
                               ? runtexts::emptyBank()
                               : runtexts::tooLargeBank(questionorder::maxQuestions);
    closeTable();
    s.questionCount = 0;
    N9->setEnabled(false);
    raiseNotice(notice);
    return false;
}

void TuozKontrol::BuildQuestionOrder() {
    RunState& s = runState();
    const bool restored = m_kept && restoreQuestionOrder(s, m_kept->order);
    if (!restored && m_serverRun.orderState) // the sitting gives every run its own order
        rng::drawFrom(*m_serverRun.orderState, [&] { buildQuestionOrder(s); });
    else if (!restored)
        buildQuestionOrder(s);
    // The answers the server already has come first, in the order they were given.
    if (!m_replay.isEmpty())
        presentFirst(s, m_replay);
}

void TuozKontrol::ClearQuestionOrder() {
    clearQuestionOrder(runState());
}

void TuozKontrol::ShowQuestion() {
    if (!serverQuestionReady())
        return; // shown once the server has sent it
    RunState& s = runState();
    if (s.displayNumber != questionsInRun(s))
        ++s.displayNumber;
    setAnswerFieldsEnabled(true);
    s.countdown = numbers::strToFloat(Edit4->text());
    // The question starts with its whole allowance on display, not with what the previous
    // question or the answer-time window left there.
    Edit3->setText(numbers::floatToStr(s.countdown));
    // A fresh second for every question: its first tick comes one second after it is shown.
    Timer3->setEnabled(false);
    Timer3->setEnabled(true);
    Edit1->setText(runtexts::questionStatus(s.displayNumber, questionsInRun(s)));
}

void TuozKontrol::LockQuestion() {
    setAnswerFieldsEnabled(false);
    Timer3->setEnabled(false);
    RunState& s = runState();
    if (s.currentRecord == 0)
        s.currentRecord = 1; // the first question of a run is record 1
}

void TuozKontrol::answer(int option) {
    if (!serverAnswerRecorded(option))
        return; // handled once the server has recorded it
    RunState& s = runState();
    s.answerNumber = option;
    LockQuestion();
    WriteQuestionBlock();
    s.chosenAnswer = double(option);
    if (const classclient::RecordedAnswer* hidden = hiddenAnswer()) {
        scoreHidden(*hidden); // only the server knows the right answer yet
        AdvanceQuestion();
        presentQuestion();
        return;
    }
    s.correctAnswer = rightAnswerNumber();
    s.answerDifference = s.correctAnswer - s.chosenAnswer;
    if (s.answerDifference == 0.0)
        ScoreRight();
    else
        ScoreWrong();
    AdvanceQuestion();
    presentQuestion();
}

void TuozKontrol::ScoreRight() {
    runState().rightCount += 1.0;
    raiseNotice(runtexts::rightVerdict());
}

void TuozKontrol::ScoreWrong() {
    runState().wrongCount += 1.0;
    raiseNotice(runtexts::wrongVerdict(recordText(PrOtvet->dataField())));
}

void TuozKontrol::AdvanceQuestion() {
    RunState& s = runState();
    if (orderExhausted(s)) {
        raiseNotice(resultNotice());
        s.finishedFlag = 1.0;
        N8->setEnabled(false);
    }
    advanceOrder(s);
}

void TuozKontrol::TimeOutQuestion() {
    if (!serverAnswerRecorded(0))
        return;
    RunState& s = runState();
    s.answerNumber = 0;
    LockQuestion();
    WriteQuestionBlock();
    s.wrongCount += 1.0;
    raiseNotice(runtexts::timedOut());
    WriteTimeOutLines();
    AdvanceQuestion();
    presentQuestion();
}

void TuozKontrol::LockRunMenu() {
    N8->setEnabled(false);
    N3->setEnabled(false);
    N4->setEnabled(false);
}

void TuozKontrol::ResetRun() {
    RunState& s = runState();
    closeTable();
    s.finishedFlag = 0.0;
    N8->setEnabled(false);
    N9->setEnabled(false);
    N3->setEnabled(true);
    N4->setEnabled(true);
    setAnswerFieldsEnabled(false);
    ClearQuestionOrder();
    s.currentRecord = 0;
    s.questionCount = 0;
    Timer3->setEnabled(false);
    Edit3->clear();
    Timer1->setEnabled(false);
    stopWaitingForBank();
    releaseServerRun();
    setStatus(QString(), Qt::black);
}

void TuozKontrol::N9Click() {
    // The countdown stops first: a failed save shows its error box in a nested loop, where a
    // time-out would count one more wrong answer after the footer was written.
    Timer3->setEnabled(false);
    stopWaitingForBank();
    // A protocol that cannot be written is reported inside the save; the run ends either way.
    if (runState().finishedFlag == 1.0)
        SaveCompletedProtocol();
    if (runState().finishedFlag == 0.0)
        SaveUnfinishedProtocol();
    ResetRun();
}

void TuozKontrol::N4Click() {
    ResetRun();
    FormReg->show();
    hide();
    N8->setEnabled(true);
}

void TuozKontrol::N3Click() {
    uozKontrol_Time->show();
    runState().timeSettingsOpenedFlag = 1.0;
}

void TuozKontrol::N5Click() {
    N8->setEnabled(false);
    N3->setEnabled(true);
    N4->setEnabled(true);
    closeForm();
}

void TuozKontrol::FormShow() {
    RunState& s = runState();
    Edit1->clear();
    s.runStartedFlag = 0.0;
    closeTable();
    const QString allowed = uozKontrol_Time->Edit4->text();
    s.countdown = numbers::strToFloat(allowed);
    Edit3->setText(allowed);
    s.protocolSavedFlag = 0.0;
}

bool TuozKontrol::FormCloseQuery() {
    return true;
}

void TuozKontrol::FormClose() {
    Timer3->setEnabled(false); // before the save, as in N9Click
    stopWaitingForBank();
    N9->setEnabled(false);
    N8->setEnabled(false);
    N3->setEnabled(true);
    N4->setEnabled(true);
    closeTable();
    runState().finishedFlag = 0.0;
    SaveUnfinishedProtocol();
    FormReg->Edit1->clear();
    FormReg->hide(); // not the user's close of that window, which would bring this one back
    Timer3->setEnabled(false);
    Timer1->setEnabled(false);
    releaseServerRun();
}
