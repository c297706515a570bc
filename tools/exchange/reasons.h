#pragma once

#include "htmltext.h"

#include <QString>
#include <QVector>

// Why a question of another system does not fit a record: one wording for each reason,
// whatever format the question came in.
namespace exchange::reasons {

// A type of question other than choosing answers: `type` as Moodle names it ("truefalse",
// "shortanswer", …), said in Russian as Moodle's own Russian interface does.
QString unsupportedType(const QString& type);

// A multiple-choice question given as its answers' grades in percent, in order, and whether
// it asks for one answer: the first reason it cannot be a record, or an empty string and
// `right` set to the number (1 to 4) of its right answer.
QString choiceRefusal(const QVector<double>& grades, bool single, int* right);

// A question with `count` options rather than four.
QString optionCount(qsizetype count);

// An option that had only a picture, which a record cannot carry.
QString optionWithoutText(int number);

// What a record cannot carry of a question it takes, said as a note.
QString optionPictureDropped(int number);
QString pictureDropped(const QString& address);
// The links and sounds or videos of a text.
QStringList dropped(const HtmlExtras& extras);
QString attachmentDropped(const QString& name);

} // namespace exchange::reasons
