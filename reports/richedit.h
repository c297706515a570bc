#pragma once

#include <QTextEdit>

// The editor's text control: colours and fonts on screen, plain protocol text in files.
// Long lines wrap on screen only; a file gets exactly the lines of the text.
class RichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit RichEdit(QWidget* parent = nullptr);

    // Replaces the whole text, colours and fonts included, with the file's text; the text is
    // then not modified and the undo history starts afresh. A file that cannot be read
    // throws Error and leaves the text as it was.
    void loadFromFile(const QString& path);
    // Writes the text as a protocol file. Does not touch the modified state.
    void saveToFile(const QString& path) const;
    // Empties the text, its formatting and its modified state.
    void clearText();

    bool modified() const;
    void setReadOnlyText(bool readOnly);
    QString text() const;

protected:
    // Copy and cut carry the characters as they stand: Qt's own plain text turns
    // non-breaking spaces into blanks.
    QMimeData* createMimeDataFromSelection() const override;

private:
    void replaceText(const QString& text);
};
