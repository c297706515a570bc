#include "fontlist.h"

#include <QRegularExpression>
#include <algorithm>

namespace {
// Qt names a family that more than one foundry supplies "C059 [urw]", "C059 [UKWN]": the
// user picks a family, and the name without the foundry selects it.
QString withoutFoundry(const QString& family) {
    static const QRegularExpression foundry(QStringLiteral(" \\[[^\\]]*\\]$"));
    return QString(family).remove(foundry);
}
} // namespace

QStringList fontEntries(const QStringList& families) {
    QStringList entries{QStringLiteral("Default")};
    for (const QString& family : families)
        entries << withoutFoundry(family);
    std::stable_sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    // Each family once: sorted, the repeats stand together.
    const auto repeats =
        std::unique(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) == 0;
        });
    entries.erase(repeats, entries.end());
    return entries;
}

int fontEntryIndex(const QStringList& entries, const QString& name) {
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (entries[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}
