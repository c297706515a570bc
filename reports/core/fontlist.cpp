#include "fontlist.h"

#include <algorithm>

QStringList fontEntries(const QStringList& families) {
    QStringList entries{QStringLiteral("Default")};
    for (const QString& family : families)
        if (family.compare(entries.constLast(), Qt::CaseInsensitive) != 0)
            entries << family;
    std::stable_sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

int fontEntryIndex(const QStringList& entries, const QString& name) {
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (entries[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}
