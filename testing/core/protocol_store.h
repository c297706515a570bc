#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Where a run's protocol goes: into the working folder, or, when that refuses it, into a
// folder of the user's own, so that no run's protocol is ever lost.
namespace protocolstore {

// "Квиронт/Протоколы" in the user's home folder, made (with the folder above it) for the user
// alone.
QString fallbackFolder();

// What the trainee is told before the first question when the working folder will not take
// the protocol (missing, or not writable for this user); empty when it will.
QString startWarning();

struct Saved {
    QString path;    // the file written
    QString refusal; // why the working folder refused it; empty when it took it
};

// The protocol's file name for each try: copy 1 the plain name, 2 and on the names that say
// another protocol has the plain one (protocol::fileName's `copy`).
using NameFor = std::function<QString(int copy)>;

// Writes the protocol as a new file: in the working folder, under the first of its names that
// nothing has taken (a protocol saved in the same second under the same name is never
// replaced, and nothing is written through a link); failing that, in the fallback folder.
// Throws Error giving both reasons when neither takes it; the caller still holds the bytes.
Saved save(const NameFor& nameFor, const QByteArray& bytes);

// The notice after a save into the fallback folder: why, where the protocol is, and that the
// class report reads that folder only when told to.
QString fallbackNotice(const Saved& saved);

} // namespace protocolstore
