#pragma once

#include "client_seams.h"
#include "ui_seams.h"

#include <QString>

// The seams of the test window's own dialogs, for tests and benchmarks only: nothing here is
// built into the programs.
namespace traineecode {
// The next ask() takes this text as typed, or is cancelled, without showing the window.
void queueAnswer(const QString& typed);
void queueCancel();
int pendingAnswers();
void clearAnswers();
} // namespace traineecode
