#include "dialogs.h"
#include "modal_watcher.h"
#include "protocol_sample.h"
#include "reportprinter.h"
#include "richedit.h"
#include "skip.h"
#include "ui_seams.h"
#include "uoz_kontrol_otchet.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <pwd.h>
#include <unistd.h>

namespace {
// Where cups-pdf puts its files: its configured "Out" folder and its folder for anonymous
// jobs, with the user's home and name filled in as cups-pdf fills them in: from the account,
// not from HOME, which a package build points elsewhere.
QStringList pdfFolders() {
    const passwd* account = ::getpwuid(::getuid());
    const QString home = account ? QFile::decodeName(account->pw_dir) : QDir::homePath();
    const QString user = account ? QFile::decodeName(account->pw_name) : QDir(home).dirName();
    QStringList folders{home + "/PDF", QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")};
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : conf.readAll().split('\n')) {
            const QStringList words = QString::fromUtf8(raw).simplified().split(' ');
            if (words.size() == 2 && (words[0] == "Out" || words[0] == "AnonDirName"))
                folders << QString(words[1]).replace("${HOME}", home).replace("${USER}", user);
        }
    }
    folders.removeDuplicates();
    return folders;
}

// Why the default printer cannot take this test's job at once; empty when it can.
QString whyNoPdfQueue(const QPrinterInfo& printer) {
    if (printer.isNull())
        return QStringLiteral("needs a default printer that is a cups-pdf queue (see "
                              ".ci/printer-setup.sh); there is no default printer");
    if (!printer.makeAndModel().contains("CUPS-PDF", Qt::CaseInsensitive))
        return QStringLiteral("needs a default printer that is a cups-pdf queue (see "
                              ".ci/printer-setup.sh); the default printer is %1")
            .arg(printer.printerName());
    if (printer.state() == QPrinter::Error || printer.state() == QPrinter::Aborted)
        return QStringLiteral("needs the cups-pdf queue %1 to take jobs; it is stopped")
            .arg(printer.printerName());
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
        return QStringLiteral("needs pdfinfo (package poppler-utils)");
    return {};
}

// pdfinfo's fields of a PDF ("Title", "Pages", ...).
QMap<QString, QString> pdfInfo(const QString& path) {
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    QMap<QString, QString> fields;
    if (!pdfinfo.waitForFinished(10000))
        return fields;
    for (const QString& line : QString::fromUtf8(pdfinfo.readAllStandardOutput()).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            fields.insert(line.left(colon), line.mid(colon + 1).trimmed());
    }
    QString& title = fields["Title"];
    if (title.startsWith('(') && title.endsWith(')')) // how cups-pdf's Ghostscript writes it
        title = title.mid(1, title.size() - 2);
    return fields;
}
} // namespace

// Prints a long protocol through the real default printer when that is a cups-pdf queue (as
// .ci/printer-setup.sh makes it), and checks the PDF that the job produced.
class TestReportPrinter : public QObject {
    Q_OBJECT

private slots:
    void longProtocolArrivesAsOnePdfWithItsPagesAndTitle() {
        const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
        if (const QString why = whyNoPdfQueue(printer); !why.isEmpty())
            KV_SKIP(why);
        QTemporaryDir dir(QDir::tempPath() + "/kv-printer-XXXXXX"); // an ASCII job title
        const QString protocol = dir.filePath("long.usr");
        QVERIFY(writeFile(protocol, protocolBytes(40)));

        TuozKontrol_otchet w;
        dialogs::queueFileAnswer(protocol);
        w.N2->trigger();
        w.N17->trigger();
        QTest::keyClick(w.RichEdit1, Qt::Key_Space); // modified: "Печать" saves it first
        QPrinter expected(printer, QPrinter::HighResolution);
        reportprint::preparePrinter(expected, protocol);
        const int pages =
            reportprint::layOutForPrinter(*w.RichEdit1->document(), expected)->pageCount();
        QVERIFY(pages >= 3);

        const QDateTime started = QDateTime::currentDateTime().addSecs(-2);
        ModalWatcher watcher;
        w.N18->trigger();
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(OtchetFileName, protocol); // the document name

        QString found;
        QMap<QString, QString> info;
        const auto arrived = [&] {
            for (const QString& folder : pdfFolders()) {
                for (const QFileInfo& pdf : QDir(folder).entryInfoList({"*.pdf"}, QDir::Files)) {
                    if (pdf.lastModified() < started)
                        continue;
                    info = pdfInfo(pdf.filePath());
                    if (info.value("Title") == protocol) {
                        found = pdf.filePath();
                        return true;
                    }
                }
            }
            return false;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(arrived(),
                                  qPrintable(QStringLiteral("no PDF titled %1 came to %2")
                                                 .arg(protocol, pdfFolders().join(", "))),
                                  60000);
        QCOMPARE(info.value("Pages").toInt(), pages);
        qInfo("printed %d pages to %s", pages, qPrintable(found));
        QFile::remove(found);
    }
};

QTEST_MAIN(TestReportPrinter)
#include "test_report_printer.moc"
