#pragma once

#include <QByteArray>
#include <QString>

// A server bank file: a small text file with the .mdb extension, so that the bank dialog
// lists it, which points to a sitting on the class server: the server's address, the
// certificate the program trusts for it (and no other) and the sitting's name, in UTF-8:
//
//   KVIRONT SERVER BANK 2
//   server=https://10.0.0.5:8443
//   sitting=Физика 9А, 8 декабря
//   -----BEGIN CERTIFICATE-----
//   MIIBszCCAVmgAwIBAgIU…
//   -----END CERTIFICATE-----
//
// Lines starting with "#" are comments; CR LF line ends and a byte-order mark are allowed, so
// a file edited on Windows still reads. A reader takes only the keys it knows and refuses a
// file with any other. The first format (a database connection string and a bank's name)
// is recognised only to say that the file is out of date.
namespace serverbank {

constexpr int sittingFormatVersion = 2;

struct SittingLink {
    QString server;         // "https://host[:port]", nothing more
    QString sitting;        // as the teacher named it
    QByteArray certificate; // one PEM block, as written
};

// The signature's format number, 0 when the bytes are no server bank file.
int linkFormat(const QByteArray& bytes);

QByteArray sittingBytes(const SittingLink& link);
// Throws Error naming `path` and what is wrong; a first-format file is refused as out of date.
SittingLink parseSitting(const QByteArray& bytes, const QString& path);
SittingLink readSitting(const QString& path);
// Writes the file in one piece, replacing only an older server bank file. Throws Error.
void writeSitting(const QString& path, const SittingLink& link);

// What is wrong with an address for the server bank file, or an empty text.
QString serverUrlProblem(const QString& url);

// The first format (a database connection string and a bank's name), only told apart.
constexpr int formatVersion = 1;
// Enough of a file's first bytes to tell a server bank file.
constexpr int headBytes = 32;

// True when a file starting with these bytes is a server bank file (of any format version).
bool isServerBankHead(const QByteArray& head);

// A bank name fit for the file and the server: one line, 1 to 200 characters. The reason
// it is not, or an empty text.
QString bankNameProblem(const QString& name);

} // namespace serverbank
