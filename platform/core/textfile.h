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

// The reason for an errno value, in Russian whatever the locale ("Отказано в доступе").
QString systemReason(int error);

// The first `size` bytes of a regular file (fewer when it is shorter), refusing anything
// else. Throws FileError naming the file and the system's reason.
QByteArray readHead(const QString& path, qint64 size);

// Reads a whole file, refusing one larger than maxBytes and anything that is not a regular
// file. Throws FileError with a Russian message naming the file and the system's reason.
QByteArray readFile(const QString& path, qint64 maxBytes);

// What a whole-file write does with a symbolic link under the name it is given.
enum class Links {
    Follow, // the file the link names is replaced: a file the user picked by that name
    Refuse, // refused: a name the program makes itself, in a folder others may write
};

// Who may read a whole file written anew.
enum class Readers {
    Usual,     // as the umask has it, or the replaced file's mode
    OwnerOnly, // 0600 whatever was there: secrets such as trainees' codes
};

// Writes a whole file so that a failure never leaves a truncated file in place of a good one:
// the bytes go to a temporary file in the same folder, every write is checked and the file
// synced to disk before it replaces the target. On any failure the target stays as it was
// and no temporary file is left. A file the user may not write is refused, although the
// folder's rights alone would let it be replaced; a replaced file keeps its mode (and its
// owner, where the system lets it). Throws FileError naming the file and the reason.
void writeFileAtomically(const QString& path, const QByteArray& bytes, Links links = Links::Follow,
                         Readers readers = Readers::Usual);

} // namespace textfile
