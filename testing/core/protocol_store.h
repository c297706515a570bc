#pragma once

#include <QByteArray>
#include <QString>

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

// Writes the protocol under `fileName` (a name made by protocol::fileName): in the working
// folder, replacing only a same-named file the user may write and never writing through a
// link; failing that, in the fallback folder. Throws Error giving both reasons when neither
// takes it; the caller still holds the bytes.
Saved save(const QString& fileName, const QByteArray& bytes);

// The notice after a save into the fallback folder: why, where the protocol is, and that the
// class report reads that folder only when told to.
QString fallbackNotice(const Saved& saved);

} // namespace protocolstore
