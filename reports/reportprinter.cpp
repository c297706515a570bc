#include "reportprinter.h"

#include "error.h"
#include "reportfile.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

namespace reportprint {
namespace {
PrinterLookup g_lookup = nullptr;

QString systemDefaultPrinter() {
    return QPrinterInfo::defaultPrinterName();
}

// Aborts the job, so that nothing of a failed job reaches the printer.
[[noreturn]] void fail(QPrinter& printer, const QString& what) {
    printer.abort();
    throw Error(QStringLiteral("%1 на принтере «%2»").arg(what, printer.printerName()));
}
} // namespace

void setPrinterLookup(PrinterLookup lookup) {
    g_lookup = lookup;
}

QString defaultPrinterName() {
    return g_lookup ? g_lookup() : systemDefaultPrinter();
}

QMarginsF printMargins(const QMarginsF& hardwareMillimetres) {
    // A printer that reports no margin of its own (a PDF queue, a driver that does not say)
    // would have the first line and the left edge cut off by a real one.
    if (!hardwareMillimetres.isNull())
        return hardwareMillimetres;
    return QMarginsF(minimumMarginMillimetres, minimumMarginMillimetres, minimumMarginMillimetres,
                     minimumMarginMillimetres);
}

void preparePrinter(QPrinter& printer, const QString& documentName) {
    printer.setDocName(documentName);
    printer.setFullPage(false);
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    printer.setPageMargins(printMargins(layout.minimumMargins()), QPageLayout::Millimeter);
}

std::unique_ptr<QTextDocument> layOutForPrinter(const QTextDocument& doc, QPrinter& printer) {
    std::unique_ptr<QTextDocument> paged(doc.clone());
    // Fonts are measured on the printer, so that lines break where they will be printed.
    paged->documentLayout()->setPaintDevice(&printer);
    paged->setDocumentMargin(0);
    QTextOption option = paged->defaultTextOption();
    option.setWrapMode(reportfile::wrapModeFor(paged->toRawText()));
    paged->setDefaultTextOption(option);
    paged->setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
    return paged;
}

int printDocument(const QTextDocument& doc, QPrinter& printer) {
    const std::unique_ptr<QTextDocument> paged = layOutForPrinter(doc, printer);
    const QSizeF page = paged->pageSize();
    const int pages = paged->pageCount();
    QPainter painter;
    if (!painter.begin(&printer))
        fail(printer, QStringLiteral("Не удалось начать печать"));
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage())
            fail(printer, QStringLiteral("Не удалось начать новую страницу"));
        painter.save();
        painter.translate(0, -i * page.height());
        paged->drawContents(&painter, QRectF(QPointF(0, i * page.height()), page));
        painter.restore();
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        fail(printer, QStringLiteral("Не удалось завершить печать"));
    return pages;
}

void printOnDefaultPrinter(const QTextDocument& doc, const QString& documentName) {
    const QString name = defaultPrinterName();
    if (name.isEmpty())
        throw Error(QStringLiteral("Не задан принтер по умолчанию, печать невозможна"));
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull())
        throw Error(
            QStringLiteral("Принтер по умолчанию «%1» недоступен, печать невозможна").arg(name));
    QPrinter printer(info, QPrinter::HighResolution);
    if (!printer.isValid())
        throw Error(
            QStringLiteral("Принтер по умолчанию «%1» недоступен, печать невозможна").arg(name));
    preparePrinter(printer, documentName);
    printDocument(doc, printer);
}

} // namespace reportprint
