#pragma once

#include <QString>
#include <QStringView>

// Question texts between HTML (as the exchange formats hold them) and the plain text of a
// record. Not a full HTML engine: enough for the texts that teachers' systems write.
namespace exchange {

// Paragraphs and other blocks become line breaks, <br> a line break, character references
// are decoded, script and style are dropped with their content, other tags are dropped.
// Whitespace written as such collapses as a browser shows it; whitespace written as a
// character reference ("&#32;") is kept, so that textToHtml() can carry any text.
// With `newlinesBreak`, a line break in the source is a line break of the text too.
QString htmlToText(QStringView html, bool newlinesBreak = false);

// One paragraph whose htmlToText() is `text` again, character for character. Characters
// that XML cannot carry become U+FFFD; `replaced` (if given) counts them.
QString textToHtml(const QString& text, int* replaced = nullptr);

// The text with the characters XML cannot carry as U+FFFD, counted in `replaced`.
QString xmlSafe(const QString& text, int* replaced = nullptr);

// Whether XML 1.0 can carry the character (as text or as a reference).
bool xmlCanCarry(char32_t c);

} // namespace exchange
