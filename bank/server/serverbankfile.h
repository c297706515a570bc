#pragma once

#include <QByteArray>
#include <QString>

// A server bank file: a small text file with the .mdb extension, so that the bank dialog
// lists it, which points to a bank on the classroom server. It holds a signature line, the
// connection string of the trainee role and the bank's name, in UTF-8:
//
//   KVIRONT SERVER BANK 1
//   conninfo=host=10.0.0.5 dbname=kviront user=kviront_trainee password=…
//   bank=Физика 9
//
// Lines starting with "#" are comments; CR LF line ends and a byte-order mark are allowed, so
// a file edited on Windows still reads.
namespace serverbank {

constexpr int formatVersion = 1;
// Enough of a file's first bytes to tell a server bank file.
constexpr int headBytes = 32;

struct BankLink {
    QString conninfo;
    QString bank;
};

// True when a file starting with these bytes is a server bank file (of any format version).
bool isServerBankHead(const QByteArray& head);

QByteArray linkBytes(const BankLink& link);
// Throws Error naming `path` and what is wrong.
BankLink parseLink(const QByteArray& bytes, const QString& path);
BankLink readLink(const QString& path);

// Writes the file in one piece. Replaces only an older server bank file: never a question bank
// or anything else. Throws Error.
void writeLink(const QString& path, const BankLink& link);

// A bank name fit for the file and the server: one line, 1 to 200 characters. The reason
// it is not, or an empty text.
QString bankNameProblem(const QString& name);

} // namespace serverbank
