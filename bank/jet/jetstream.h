#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

// The records of one table of an old-format (Jet) bank, as the reader process streams them
// (reader/jetstream_format.h), before any decoding.
namespace jetstream {

struct Table {
    int version = 0;                   // 3 or 4
    int codePage = 0;                  // the file's code page (Jet 3 texts are in it)
    bool found = false;                // false: the file has no such table
    QStringList names;                 // the columns, in the table's order
    QVector<int> kinds;                // per column: kindInteger, kindText, kindBinary or kindOther
    QVector<QVector<QByteArray>> rows; // per record, per column: a null array for NULL
};

// Checks every byte of the stream and returns its table. Throws Error with the reason (in
// Russian) when the stream is cut short, malformed, or reports a failed read.
Table parse(const QByteArray& stream);

} // namespace jetstream
