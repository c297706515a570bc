#pragma once

#include <QString>
#include <QTextOption>

class QTextDocument;

// Protocol files as the report editor reads and writes them: plain Windows-1251 text with
// CR LF after every line, whatever colours and fonts the text carries on screen.
namespace reportfile {

// A protocol is a few kilobytes; a file far larger than any protocol would stall the text
// control, so it is refused with a message instead.
constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

// Reads a whole file as text; CR LF and bare LF both end a line. Throws Error naming the file.
QString load(const QString& path);

// Writes the text as Windows-1251 with CR LF after every line and no byte-order mark,
// replacing an existing file. Throws Error naming the file.
void save(const QString& path, const QString& text);

// The file a save through the dialog writes: the chosen name with ".usr" appended, unless it
// already ends in ".usr" (in any case), so that choosing an existing protocol replaces it.
QString saveTarget(const QString& chosen);

// The document's characters as stored, lines separated by LF. Unlike toPlainText() this keeps
// non-breaking spaces, which the code page has and bank texts may carry.
QString documentText(const QTextDocument& doc);

// How a text wraps on screen and on paper: at word boundaries, breaking only a word longer
// than the line. A text with a run of thousands of characters without a blank (a binary file)
// wraps anywhere instead, because breaking such runs at word boundaries takes time that grows
// with the square of their length.
QTextOption::WrapMode wrapModeFor(const QString& text);

} // namespace reportfile
