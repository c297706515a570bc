#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a protocol as the test window writes it: Windows-1251, CR LF after every line,
// no byte-order mark. Built here line by line so that the editor is checked against the file
// format, not against its own reading of it.
QByteArray protocolBytes(int questions = 2);

// Writes bytes to a file; false when it cannot.
bool writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes, or a null array when it does not exist.
QByteArray fileBytes(const QString& path);
