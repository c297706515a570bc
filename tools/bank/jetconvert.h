#pragma once

#include <QString>
#include <QStringList>

// Converting a bank of the old (Jet) format into a bank of the program's own, which the
// question editor can change: the same table "kontrol", fields, records in the same order
// and the same bytes of every picture (a picture Access wrapped in an OLE object is taken
// out of it).
namespace jetconvert {

struct Result {
    int questions = 0;
    QStringList refused; // per record: what could not be carried over, with its number
};

// Writes `newPath`, which must not exist, under a temporary name renamed when complete, so
// no partial file is ever left. A picture that is no bitmap is refused: its record is
// written without it and named in Result::refused. Throws Error when nothing can be written.
Result convert(const QString& oldPath, const QString& newPath);

} // namespace jetconvert
