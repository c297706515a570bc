#pragma once

#include <QStringList>

// The entries of the editor's font-name list: "Default" and every family, each once (names
// equal ignoring case, or but for the foundry Qt adds in brackets, are one family), sorted
// ignoring case.
QStringList fontEntries(const QStringList& families);

// Index of the first entry equal to `name` ignoring case, or -1.
int fontEntryIndex(const QStringList& entries, const QString& name);
