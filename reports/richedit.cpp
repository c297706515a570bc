#include "richedit.h"

#include "reportfile.h"

#include <QMimeData>
#include <QTextDocument>
#include <QTextDocumentFragment>

RichEdit::RichEdit(QWidget* parent) : QTextEdit(parent) {
    // Pastes and drops bring characters, never pictures or tables a protocol cannot hold.
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setReadOnlyText(true);
}

void RichEdit::loadFromFile(const QString& path) {
    replaceText(reportfile::load(path)); // reads everything before anything is replaced
}

void RichEdit::saveToFile(const QString& path) const {
    reportfile::save(path, text());
}

void RichEdit::clearText() {
    replaceText(QString());
}

void RichEdit::replaceText(const QString& text) {
    // setPlainText() would give the new text the format at the caret; a loaded text starts
    // plain.
    setCurrentCharFormat(QTextCharFormat());
    // The old text goes first, while it still wraps as it was laid out: a new wrap mode with
    // an endless line still in place would lay that line out again at word boundaries, which
    // takes minutes. The new mode is then set before the new text, to lay it out once.
    document()->clear();
    setWordWrapMode(reportfile::wrapModeFor(text));
    setPlainText(text);
    setCurrentCharFormat(QTextCharFormat());
    document()->setModified(false);
}

bool RichEdit::modified() const {
    return document()->isModified();
}

void RichEdit::setReadOnlyText(bool readOnly) {
    setReadOnly(readOnly);
    // A read-only text can still be selected and copied from the keyboard.
    if (readOnly)
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

QString RichEdit::text() const {
    return reportfile::documentText(*document());
}

QMimeData* RichEdit::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setHtml(textCursor().selection().toHtml()); // colours and fonts for rich targets
    QString selected = textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    selected.replace(QChar::LineSeparator, QLatin1Char('\n'));
    data->setText(selected);
    return data;
}
