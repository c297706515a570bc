#pragma once

#include "core_seams.h"
#include "timer.h"

#include <QString>

// The seams of the platform's windows, for tests and benchmarks only: nothing here is built
// into the programs.
namespace dialogs {
void queueFileAnswer(const QString& path); // the next file dialog confirms this path
void queueFileCancel();                    // the next file dialog is cancelled
void queueConfirm(bool ok);
int pendingAnswers();
void clearAnswers();
QString lastFilter();      // the filter of the last file dialog shown or answered
QString lastCaption();     // its caption ("" for the dialog's own)
QString lastConfirmText(); // the question of the last confirmation shown or answered
} // namespace dialogs

struct TimerSeam {
    // Manual timers keep their enabled state but tick only when fired.
    static void setManual(bool manual);
    static bool manual();
    // One tick now, as the timer would deliver it (inside guard()).
    static void fire(Timer* timer);
};
