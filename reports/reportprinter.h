#pragma once

#include <QMarginsF>
#include <QString>
#include <memory>

class QPrinter;
class QTextDocument;

// Printing of the editor's text: no print dialog, the system's default printer, one job.
namespace reportprint {

// The name of the printer to print on, "" when there is none: the system's default printer,
// unless a test has put another lookup in place (nullptr puts the system's back).
using PrinterLookup = QString (*)();
void setPrinterLookup(PrinterLookup lookup);
QString defaultPrinterName();

// Prints the document as one job named `documentName` on the default printer, laid over the
// whole printable area page after page, in the colours and fonts it carries. Throws Error with
// a message for the user when there is no default printer or the printer fails.
void printOnDefaultPrinter(const QTextDocument& doc, const QString& documentName);

// Sets a printer up for a job named `documentName`, laid over the whole printable area: no
// margins beyond those the printer cannot print on, or 10 mm on every side where the
// printer reports none.
void preparePrinter(QPrinter& printer, const QString& documentName);

constexpr double minimumMarginMillimetres = 10.0;
// The margins of a page, in millimetres, from those the printer reports it cannot print on.
QMarginsF printMargins(const QMarginsF& hardwareMillimetres);

// The document laid out in pages of the printer's printable area, as it will be printed.
std::unique_ptr<QTextDocument> layOutForPrinter(const QTextDocument& doc, QPrinter& printer);

// Prints on a printer already set up and returns the number of pages. Throws Error when the
// printer cannot start the job or a page.
int printDocument(const QTextDocument& doc, QPrinter& printer);

} // namespace reportprint
