#include "reportfile.h"

#include "textfile.h"
#include "textwrap.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

namespace reportfile {

QString load(const QString& path) {
    return textfile::decodeLines(textfile::readFile(path, maxFileBytes));
}

void save(const QString& path, const QString& text) {
    textfile::writeFileAtomically(path, textfile::encodeLines(text));
}

QString saveTarget(const QString& chosen) {
    static const QString extension = QStringLiteral(".usr");
    if (chosen.endsWith(extension, Qt::CaseInsensitive))
        return chosen;
    return chosen + extension;
}

QString documentText(const QTextDocument& doc) {
    QStringList lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        lines << block.text();
    QString text = lines.join(QLatin1Char('\n'));
    // A soft break (Shift+Enter) is a line break in a plain-text file.
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

QTextOption::WrapMode wrapModeFor(const QString& text) {
    return textwrap::needsWrapAnywhere(text) ? QTextOption::WrapAnywhere
                                             : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

} // namespace reportfile
