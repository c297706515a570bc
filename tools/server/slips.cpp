#include "slips.h"

#include "classapi.h"
#include "sitting.h"

#include <QFileInfo>

namespace slips {
namespace {

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

const char* style = R"(<style>
body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 0; }
h1 { font-size: 14pt; margin: 8mm 10mm 4mm; }
.sheet { display: flex; flex-wrap: wrap; padding: 0 5mm; }
.slip { box-sizing: border-box; width: 50%; padding: 5mm; border: 1px dashed #888;
        page-break-inside: avoid; break-inside: avoid; }
.name { font-size: 13pt; font-weight: bold; min-height: 1.3em; }
.code { font-family: "DejaVu Sans Mono", monospace; font-size: 20pt; letter-spacing: 1pt;
        margin: 2mm 0; }
.about { font-size: 9pt; color: #333; }
@page { size: A4; margin: 10mm; }
</style>)";

} // namespace

QByteArray html(const serversitting::Opened& s) {
    const QString date = s.openedAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy"));
    const QString file = QFileInfo(s.link).fileName();
    QString out = QStringLiteral("<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
                                 "<title>Коды — %1</title>\n")
                      .arg(escaped(s.name));
    out += QLatin1String(style);
    out += QStringLiteral("</head><body>\n<h1>Тестирование «%1»: коды учеников</h1>\n"
                          "<div class=\"sheet\">\n")
               .arg(escaped(s.name));
    for (const serversitting::Code& c : s.codes) {
        const QString name =
            c.trainee.isEmpty() ? QStringLiteral("________________________") : escaped(c.trainee);
        out += QStringLiteral("<div class=\"slip\"><div class=\"name\">%1</div>"
                              "<div class=\"code\">%2</div><div class=\"about\">Банк «%3», "
                              "версия %4 · %5<br>Откройте «%6» в «Открыть БД» и введите этот "
                              "код.</div></div>\n")
                   .arg(name, QString::fromStdString(classapi::groupedCode(c.code.toStdString())),
                        escaped(s.bank), QString::number(s.version), date, escaped(file));
    }
    out += QStringLiteral("</div>\n</body></html>\n");
    return out.toUtf8();
}

} // namespace slips
