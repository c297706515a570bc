#pragma once

#include <QQueue>
#include <QString>
#include <optional>

// What the tests' seams reach (tests/support/seams): the program itself never sets these, and
// nothing that sets them is built into it.
namespace uihook {

// The answers queued for the next file dialogs (a path, or none for a cancel) and
// confirmations, and what the last ones asked. With an answer queued no dialog is shown.
struct DialogAnswers {
    QQueue<std::optional<QString>> files;
    QQueue<bool> confirms;
    QString lastFilter;
    QString lastCaption;
    QString lastConfirmText;
};
DialogAnswers& dialogAnswers();

// While set, timers keep their enabled state but never run: they tick only when a test fires
// them.
extern bool manualTimers;

} // namespace uihook
