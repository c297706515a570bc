#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The protocol of a run while it is being built (the test window's hidden Memo1): every
// appended text followed by CR LF, exactly as the file will hold it. A text control would
// change the bank's texts on the way: its plain text turns no-break spaces into blanks and
// rewrites the line breaks inside a text.
class ProtocolBuffer {
public:
    void clear() { m_text.clear(); }
    // Each text as it stands, then CR LF; a bank text holding line breaks keeps them.
    void append(const QStringList& texts);
    // The whole text, line ends included.
    const QString& toPlainText() const { return m_text; }
    // The file's bytes: Windows-1251, characters outside the code page as "?".
    QByteArray bytes() const;

private:
    QString m_text;
};
