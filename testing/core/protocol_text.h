#pragma once

#include <QString>
#include <QStringList>

// The lines of a test protocol and the name of its file. Every returned line is appended to
// the protocol buffer as it stands; a bank text holding line breaks spans several lines.
namespace protocol {

// Two backslashes and 63 hyphens.
QString separator();

// name + two blanks + date + two blanks + time.
QString headerLine(const QString& name, const QString& dateText, const QString& timeText);
QStringList header(const QString& headerLine, const QString& clockText);

// What the test window shows of the question being recorded.
struct ShownQuestion {
    int record = 0;
    QString question;
    QString options[4];
    int answerNumber = 0; // 0 for a time-out
    QString rightAnswer;  // as the record stores it
    QString allowedText;  // allowed seconds of the run
    QString shownText;    // seconds the countdown showed last
};
// Throws Error when the allowed or the shown seconds do not read as numbers.
QStringList questionBlock(const ShownQuestion& q);

QStringList timeOutLines();

QString unfinishedText();
// The footer: the result (or the unfinished text), the separator and the end time.
QStringList footer(const QString& firstLine, const QString& clockText);

// The longest file name, in bytes, that file systems take.
constexpr qsizetype maxFileNameBytes = 255;

// name + two blanks + date + two blanks + time + ".usr", with "_" in front for an unfinished
// run. A "/" and every control character (U+0000 to U+001F, U+007F) in the name become "_"
// here, and a name too long for a file name is cut (between two characters) so that the
// whole name fits in maxFileNameBytes of the file system's encoding. The header keeps the
// name as typed, less any NUL. A `copy` above 1 names the protocol that finds the name taken:
// " (2)" stands before ".usr".
QString fileName(const QString& name, const QString& dateText, const QString& timeText,
                 bool unfinished, int copy = 1);

} // namespace protocol
