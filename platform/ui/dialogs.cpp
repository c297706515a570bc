#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>
#include <optional>

namespace dialogs {
namespace {
QQueue<std::optional<QString>> g_fileAnswers;
QQueue<bool> g_confirmAnswers;
QString g_lastFilter;
QString g_lastCaption;
QString g_lastConfirmText;
} // namespace

QString toQtFilter(const QString& filter) {
    QStringList entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return entries.join(QStringLiteral(";;"));
}

bool FileDialog::execute(QWidget* parent, const QString& caption) {
    g_lastFilter = filter;
    g_lastCaption = caption;
    if (!g_fileAnswers.isEmpty()) {
        const std::optional<QString> answer = g_fileAnswers.dequeue();
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
    g_lastConfirmText = text;
    if (!g_confirmAnswers.isEmpty())
        return g_confirmAnswers.dequeue();
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Cancel);
    // The program's own words, whether or not Qt's translations are installed.
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
    return box.exec() == QMessageBox::Ok;
}

void queueFileAnswer(const QString& path) {
    g_fileAnswers.enqueue(path);
}
void queueFileCancel() {
    g_fileAnswers.enqueue(std::nullopt);
}
void queueConfirm(bool ok) {
    g_confirmAnswers.enqueue(ok);
}
int pendingAnswers() {
    return int(g_fileAnswers.size() + g_confirmAnswers.size());
}
void clearAnswers() {
    g_fileAnswers.clear();
    g_confirmAnswers.clear();
}
QString lastFilter() {
    return g_lastFilter;
}
QString lastCaption() {
    return g_lastCaption;
}
QString lastConfirmText() {
    return g_lastConfirmText;
}

} // namespace dialogs
