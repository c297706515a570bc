#include "reportprinter.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {
// Pages of a PDF written by Qt: one "/Type /Page" object each ("/Pages" is the tree).
int pdfPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString pdf = QString::fromLatin1(file.readAll());
    return int(pdf.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
}
} // namespace

// Printing lays the text out on a PDF printer here; test_report_printer sends it through a
// real CUPS queue.
class TestReportPrint : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    int print(const QTextDocument& doc, const QString& name, int* pdf) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_dir.filePath(name));
        reportprint::preparePrinter(printer, name);
        const int pages = reportprint::printDocument(doc, printer);
        *pdf = pdfPages(m_dir.filePath(name));
        return pages;
    }

private slots:
    void longTextFillsPageAfterPageFromTheTopLeft() {
        QTextDocument doc;
        QStringList lines;
        for (int i = 1; i <= 400; ++i)
            lines << QStringLiteral("Вопрос № %1. Содержание вопроса").arg(i);
        doc.setPlainText(lines.join('\n'));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        reportprint::preparePrinter(printer, QStringLiteral("long"));
        const auto paged = reportprint::layOutForPrinter(doc, printer);
        // No margin is added around the text, and every page but the last is full.
        const QRectF first = paged->documentLayout()->blockBoundingRect(paged->begin());
        QCOMPARE(first.topLeft(), QPointF(0, 0));
        const qreal lineHeight = first.height();
        const qreal pageHeight = paged->pageSize().height();
        const int perPage = int(pageHeight / lineHeight);
        QVERIFY(perPage > 10);
        QCOMPARE(paged->pageCount(), (400 + perPage - 1) / perPage);

        int pdf = 0;
        QCOMPARE(print(doc, "long.pdf", &pdf), paged->pageCount());
        QCOMPARE(pdf, paged->pageCount());
    }

    void pageKeepsTenMillimetresWhereThePrinterReportsNoMargin() {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat); // reports no hardware margin
        reportprint::preparePrinter(printer, QStringLiteral("margins"));
        const QRectF paper = printer.paperRect(QPrinter::Millimeter);
        const QRectF page = printer.pageRect(QPrinter::Millimeter);
        QVERIFY(page.left() - paper.left() >= 9.99);
        QVERIFY(page.top() - paper.top() >= 9.99);
        QVERIFY(paper.right() - page.right() >= 9.99);
        QVERIFY(paper.bottom() - page.bottom() >= 9.99);
        // A printer's own margins are the printable area, as they are.
        const QMarginsF hardware(4.2, 3.0, 4.2, 6.5);
        QCOMPARE(reportprint::printMargins(hardware), hardware);
    }

    void oneEndlessLineWrapsAnywhere() {
        QTextDocument doc;
        doc.setPlainText(QString(40000, QLatin1Char('x'))); // a binary file has no blanks
        int pdf = 0;
        const int pages = print(doc, "endless.pdf", &pdf);
        QVERIFY(pages > 1);
        QCOMPARE(pdf, pages);
    }

    void noTextPrintsOneBlankPage() {
        QTextDocument doc;
        int pdf = 0;
        QCOMPARE(print(doc, "blank.pdf", &pdf), 1);
        QCOMPARE(pdf, 1);
    }
};

QTEST_MAIN(TestReportPrint)
#include "test_report_print.moc"
