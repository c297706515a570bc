// The three timers of the test window: end-of-run check, clock and question countdown.
#include "uoz_kontrol.h"

#include "dbcontrols.h"
#include "formats.h"
#include "numbers.h"
#include "run_texts.h"
#include "timer.h"

#include <QLineEdit>

void TuozKontrol::Timer1Timer() {
    if (runState().finishedFlag != 1.0)
        return;
    FinishRun();
}

void TuozKontrol::FinishRun() {
    const RunState& s = runState();
    setStatus(runtexts::result(s.rightCount, s.wrongCount, questionsInRun(s)), Qt::red);
    SaveCompletedProtocol();
    ResetRun();
}

void TuozKontrol::Timer2Timer() {
    RunState& s = runState();
    formats::Settings& f = formats::settings();
    const QDateTime t = clock_::now();
    const QString clockText = formats::formatDateTime(f.longTimeFormat, t);
    f.dateSeparator = QLatin1Char('-');
    f.shortDateFormat = QStringLiteral("d/m/yyyy");
    Edit2->setText(clockText);
    s.dateText = formats::formatDateTime(f.shortDateFormat, t);
    f.timeSeparator = QLatin1Char('-');
    s.timeText = formats::formatDateTime(f.longTimeFormat, t);
}

void TuozKontrol::Timer3Timer() {
    RunState& s = runState();
    if (!Edit3->text().isEmpty())
        setAnswerFieldsEnabled(true);
    Edit3->setText(numbers::floatToStr(s.countdown));
    s.countdown -= 1.0;
    if (s.countdown == 0.0) {
        setStatus(runtexts::timedOut(), Qt::black);
        Timer3->setEnabled(false);
        TimeOutQuestion();
    }
}
