#pragma once

#include "question.h"

#include <QStringList>

class QIODevice;

// CSV with the header Name;Vopros;Otvet1;Otvet2;Otvet3;Otvet4;PrOtvet;Graph (in any order,
// Name and Graph may be left out), separated by ";" or ",", fields in double quotes where
// they hold separators, quotes or line breaks. UTF-8 with or without a byte-order mark, or
// Windows-1251. Graph names a picture file relative to the CSV file. A field of an apostrophe
// and then "=", "+", "-" or "@" (after any more apostrophes) is read without that apostrophe.
namespace exchange::csvbank {

// Gives the bytes of the picture file a row names, or throws Error with the reason.
using PictureFiles = std::function<QByteArray(const QString& path)>;

// Picture files read from `folder`; only regular files, at most maxPictureBytes.
PictureFiles filesIn(const QString& folder);

void read(const QByteArray& source, const PictureFiles& pictures, Result& result);

// Writes the header and then one row per question, as UTF-8 with a byte-order mark and CR LF
// line ends; the texts are kept exactly, line breaks included. A text a spreadsheet would take
// for a formula gets an apostrophe in front, which read() takes away again.
class Writer {
public:
    explicit Writer(QIODevice* target);
    // `picture`: the file name to put in Graph (the caller writes the file), or empty.
    void add(const Question& question, const QString& picture);
    void finish(); // throws Error when the target could not be written

private:
    void row(const QStringList& fields);
    QIODevice* m_target;
    bool m_failed = false;
};

} // namespace exchange::csvbank
