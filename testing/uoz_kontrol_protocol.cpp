// The test protocol: built line by line in the hidden Memo1, written to a file once per run.
#include "uoz_kontrol.h"

#include "dbcontrols.h"
#include "guard.h"
#include "numbers.h"
#include "ouz_reg.h"
#include "protocol_store.h"
#include "protocol_text.h"
#include "vivodsoobsh.h"

#include <QFileInfo>
#include <QLineEdit>

void TuozKontrol::WriteProtocolHeader() {
    RunState& s = runState();
    if (m_kept && !m_kept->headerLine.isEmpty()) { // the run's own start, taken up again
        s.headerLine = m_kept->headerLine;
        m_startClock = m_kept->startClock;
    } else {
        s.headerLine = protocol::headerLine(traineeName(false), s.dateText, s.timeText);
        m_startClock = Edit2->text();
    }
    Memo1->append(protocol::header(s.headerLine, m_startClock));
}

void TuozKontrol::WriteQuestionBlock() {
    // The texts come from the record, which holds them as the bank does: the controls show
    // them with line breaks of their own and hold no more than they can lay out.
    const RunState& s = runState();
    protocol::ShownQuestion q;
    q.record = s.currentRecord;
    q.question = recordText(DBMemo1->dataField());
    const DBMemo* options[4] = {DBMemo_Otv1, DBMemo_Otv2, DBMemo_Otv3, DBMemo_Otv4};
    for (int k = 0; k < 4; ++k)
        q.options[k] = recordText(options[k]->dataField());
    q.answerNumber = s.answerNumber;
    q.rightAnswer = recordText(PrOtvet->dataField());
    q.allowedText = Edit4->text();
    q.shownText = numbers::floatToStr(secondsShown(s, numbers::strToFloat(q.allowedText)));
    Memo1->append(protocol::questionBlock(q));
}

void TuozKontrol::WriteTimeOutLines() {
    Memo1->append(protocol::timeOutLines());
}

void TuozKontrol::SaveCompletedProtocol() {
    if (runState().protocolSavedFlag != 0.0)
        return;
    saveProtocol(Edit1->text(), false);
}

void TuozKontrol::SaveUnfinishedProtocol() {
    const RunState& s = runState();
    if (!(s.protocolSavedFlag == 0.0 && s.runStartedFlag == 1.0 && s.finishedFlag == 0.0))
        return;
    Edit1->setText(protocol::unfinishedText());
    saveProtocol(Edit1->text(), true);
}

void TuozKontrol::saveProtocol(const QString& firstFooterLine, bool unfinished) {
    RunState& s = runState();
    const QString name = traineeName(true);
    const protocolstore::NameFor nameFor = [&](int copy) {
        return protocol::fileName(name, s.dateText, s.timeText, unfinished, copy);
    };
    s.protocolFileName = nameFor(1);
    Memo1->append(protocol::footer(firstFooterLine, Edit2->text()));
    // One footer and one attempt per run: a failed write is not followed by a second footer
    // when the window is closed later.
    s.protocolSavedFlag = 1.0;
    const QByteArray bytes = Memo1->bytes();
    // A working folder that refuses the file sends it to the user's own folder, with a notice
    // that says where. Should that fail too, the error box names both reasons; the caller
    // still ends the run, and the text stays in Memo1 until the next bank is opened.
    guard([&] {
        const protocolstore::Saved saved = protocolstore::save(nameFor, bytes);
        s.protocolFileName = QFileInfo(saved.path).fileName();
        if (!saved.refusal.isEmpty())
            raiseNotice(protocolstore::fallbackNotice(saved));
    });
    // The server hears of the end after the protocol is safe: the run's job sends it after the
    // run's answers, whatever the window does next.
    guard([&] { finishServerRun(!unfinished); });
}
