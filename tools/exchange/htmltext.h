#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Question texts between HTML (as the exchange formats hold them) and the plain text of a
// record. Not a full HTML engine: enough for the texts that teachers' systems write.
namespace exchange {

// What a text showed besides its words, which a record cannot carry: addresses as written.
struct HtmlExtras {
    QStringList pictures; // <img src>
    QStringList links;    // <a href>
    QStringList media;    // <audio>, <video>, <object>, <embed>, <iframe>: src or data
};

// Paragraphs and other blocks become line breaks, <br> a line break, character references
// are decoded (to text, never to markup), script and style are dropped with their content,
// other tags are dropped. As in a browser, "<" starts markup only before a Latin letter, "/",
// "!" or "?"; markup that never ends is text. Whitespace written as such collapses as a
// browser shows it, and line breaks and spaces (non-breaking ones too) at either end of the
// text go; whitespace written as a numeric reference ("&#32;", "&#10;") is kept, so that
// textToHtml() can carry any text. With `newlinesBreak`, a line break in the source is a line
// break of the text too. `extras` (if given) gets what the text showed besides its words.
// Time and memory grow linearly with the text, whatever it holds.
QString htmlToText(QStringView html, bool newlinesBreak = false, HtmlExtras* extras = nullptr);

// One paragraph whose htmlToText() is `text` again, character for character. Characters
// that XML cannot carry become U+FFFD; `replaced` (if given) counts them.
QString textToHtml(const QString& text, int* replaced = nullptr);

// The text with the characters XML cannot carry as U+FFFD, counted in `replaced`.
QString xmlSafe(const QString& text, int* replaced = nullptr);

// Whether XML 1.0 can carry the character (as text or as a reference).
bool xmlCanCarry(char32_t c);

// The name of a file embedded with the text, as Moodle addresses it ("@@PLUGINFILE@@/" and the
// name, percent-encoded, perhaps with a query): decoded, the query cut off. An empty string for
// any other address.
QString embeddedFileName(const QString& address);

} // namespace exchange
