#pragma once

#include <QStringList>

// The entries of the editor's font-name list: "Default" and every family in the order the
// system enumerates them, a name equal (ignoring case) to the one listed just before it
// skipped, the whole list then sorted ignoring case.
QStringList fontEntries(const QStringList& families);

// Index of the first entry equal to `name` ignoring case, or -1.
int fontEntryIndex(const QStringList& entries, const QString& name);
