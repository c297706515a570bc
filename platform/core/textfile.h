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

// What `path` names when it exists but is no regular file (links followed): "папка",
// "канал (FIFO)", "устройство", "сокет"; empty for a regular file or nothing at all. Asks the
// file system only, so a FIFO is never opened (which blocks) and a device never read (which
// may never end).
QString specialKind(const QString& path);

// The system's own text for an errno value, in the language of the user's locale.
QString systemReason(int error);

// Reads a whole file, refusing one larger than maxBytes and anything that is not a regular
// file. Throws Error with a Russian message naming the file and the system's reason.
QByteArray readFile(const QString& path, qint64 maxBytes);

// Writes a whole file so that a failure never leaves a truncated file in place of a good one:
// the bytes go to a temporary file in the same folder, every write is checked and the file
// synced to disk before it replaces the target. On any failure the target stays as it was
// and no temporary file is left. A link is followed: the file it names is replaced. Throws
// Error naming the file and the system's reason (a full disk says so, in the locale's words).
void writeFileAtomically(const QString& path, const QByteArray& bytes);

// Test seam: the call that writes bytes to a file descriptor (::write by default), so that a
// test can stand in a disk that fills up after N bytes. nullptr restores ::write.
using WriteCall = qint64 (*)(int fd, const char* data, qint64 size);
void setWriteCall(WriteCall call);

} // namespace textfile
