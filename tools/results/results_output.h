#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The files kviront-results writes, kept apart from the files it reads.
namespace results {

// Every file named as an input, and every "*.usr" file found in a folder named as one: all
// that the tool read or skipped, so all that it must never write over.
QStringList inputFiles(const QStringList& inputs);

// The names of a folder's "*.usr" files (hidden ones too, the pattern's case ignored, links
// to files followed) in the order of QDir::Name, as QDir::entryList() gives them.
QStringList protocolNames(const QString& folder);
// What goes before a protocol's name to make its path: the folder's part as QDir::filePath()
// writes it. Never QDir::filePath() itself, which takes a name starting with ':' for a resource
// path of its own, so that ":x.usr" would be read from somewhere else.
QString protocolPathPrefix(const QString& folder);

// Whether two paths name one file: the same name in the same folder, however the folder is
// reached (links, "..", relative paths), or one file under two names.
bool sameFile(const QString& a, const QString& b);

struct OutputFile {
    QString path;
    QByteArray bytes;
};

// Writes every output or none. Each is refused when it is, by any path (a link, a linked
// folder, a second name), one of `inputs`, or when a symbolic link stands under its name
// (which someone else may have planted to send the report into a file of theirs); all are
// staged before any takes its name, so a folder that refuses one leaves the others unwritten
// too. Returns the error text naming the output in full; empty when all were written.
QString writeOutputs(const QList<OutputFile>& outputs, const QStringList& inputs);

} // namespace results
