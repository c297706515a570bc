#include "dialogs.h"

#include "ui_hook.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <optional>

namespace uihook {
DialogAnswers& dialogAnswers() {
    static DialogAnswers answers;
    return answers;
}
} // namespace uihook

namespace dialogs {

QString toQtFilter(const QString& filter) {
    QStringList entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return entries.join(QStringLiteral(";;"));
}

bool FileDialog::execute(QWidget* parent, const QString& caption) {
    uihook::DialogAnswers& queued = uihook::dialogAnswers();
    queued.lastFilter = filter;
    queued.lastCaption = caption;
    if (!queued.files.isEmpty()) {
        const std::optional<QString> answer = queued.files.dequeue();
        if (!answer)
            return false;
        fileName = *answer;
        return true;
    }
    QFileDialog dialog(parent);
    dialog.setNameFilter(toQtFilter(filter));
    if (!caption.isEmpty())
        dialog.setWindowTitle(caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (m_kind == Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile); // a typed name need not exist
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst();
    return true;
}

bool confirm(QWidget* parent, const QString& caption, const QString& text) {
    uihook::DialogAnswers& queued = uihook::dialogAnswers();
    queued.lastConfirmText = text;
    if (!queued.confirms.isEmpty())
        return queued.confirms.dequeue();
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Cancel);
    // The program's own words, whether or not Qt's translations are installed.
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
    return box.exec() == QMessageBox::Ok;
}

} // namespace dialogs
