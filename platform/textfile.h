#pragma once

#include <QByteArray>
#include <QString>

// The single-byte Windows-1251 text of protocol files, shared by the test window that
// writes them and the report editor that reads and writes them.
namespace textfile {

// Characters outside the code page become "?".
QByteArray toCp1251(const QString& text);
QString fromCp1251(const QByteArray& bytes);

// Lines of `text` (separated by LF, CR LF or CR) each followed by CR LF; "" gives no line.
QByteArray encodeLines(const QString& text);
// Decodes a file's bytes; CR LF and bare LF both end a line. The result separates lines with
// LF and carries no line end after the last line.
QString decodeLines(const QByteArray& bytes);

// Reads a whole file, refusing one larger than maxBytes. Throws Error with a Russian message
// naming the file and the system's reason.
QByteArray readFile(const QString& path, qint64 maxBytes);

// Writes a whole file so that a failure never leaves a truncated file in place of a good one:
// the bytes go to a temporary file in the same folder, which then replaces the target.
// Throws Error naming the file and the system's reason.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace textfile
