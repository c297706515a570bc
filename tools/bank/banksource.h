#pragma once

#include "bankfile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The readable text from which the bank tool builds a bank. The format, line by line:
//
//   # a comment (only at the start of a line)
//   Name: 1                      starts a question: its sequence number
//   Vopros: text                 the question; Otvet1 ... Otvet4: the answer options
//   | more text                  one more line of the text field just given (the bank
//                                holds its line breaks as CR LF, as banks made on Windows do)
//   PrOtvet: 3                   number of the right answer, 1 to 4
//   Graph: picture.bmp           a bitmap file beside the source, or
//   Graph: pattern 6             a picture drawn by the "=" lines that follow, every
//   = ..##..                     character a 6 x 6 block of one colour (see patternColours)
//
// Every question needs Name, Vopros, Otvet1 to Otvet4 and PrOtvet; Graph is optional.
namespace banksource {

// Characters of a picture pattern and the colours they stand for.
QString patternColours();

// Reads the source; files named in Graph lines are looked up in `folder`. Throws Error
// "строка N: ..." naming the first line it cannot read.
QVector<bankfile::Question> parse(const QByteArray& source, const QString& folder);

} // namespace banksource
