#pragma once

#include <QString>

class QWidget;

// File dialogs and the confirmation box. Tests queue the answers a person would give
// (tests/support/seams); with answers queued no real dialog is shown.
namespace dialogs {

// A file dialog as the windows use it: a filter ("Display text|*.ext") set before each use,
// and the file name last chosen, which the next showing offers again.
class FileDialog {
public:
    enum Kind { Open, Save };
    explicit FileDialog(Kind kind) : m_kind(kind) {}

    QString filter;
    QString fileName;

    // Shows the dialog; true with fileName set when the user confirms, false on cancel.
    // A caption says why the dialog comes, where the user did not ask for it.
    bool execute(QWidget* parent, const QString& caption = QString());

private:
    Kind m_kind;
};

// "Files|*.usr" -> "Files (*.usr)".
QString toQtFilter(const QString& filter);

// A question with the buttons "OK" and "Отмена" ("Отмена" the default); true for OK.
bool confirm(QWidget* parent, const QString& caption, const QString& text);

} // namespace dialogs
