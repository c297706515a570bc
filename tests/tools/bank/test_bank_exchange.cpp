// The bank tool's exchange commands on real bank files: the round trip of the sample bank,
// what is never written, and the bank check.
#include "adoconnection.h"
#include "adotable.h"
#include "bankexchange.h"
#include "bankfile.h"
#include "banksource.h"
#include "bitmap.h"
#include "error.h"
#include "file_bytes.h"
#include "formats.h"
#include "textfile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace bankexchange;

namespace {

// Every record of a bank as the program reads it, pictures as their pixels, for comparing
// two banks.
QStringList contents(const QString& path) {
    ADOConnection connection;
    ADOTable table(&connection);
    connection.setConnectionString(path);
    connection.open();
    table.open();
    QStringList out;
    for (; !table.eof(); table.next()) {
        QStringList row;
        for (const char* field :
             {"Name", "Vopros", "Otvet1", "Otvet2", "Otvet3", "Otvet4", "PrOtvet"})
            row << table.fieldText(QLatin1String(field));
        const QImage picture = decodeGraph(table.fieldBytes(QStringLiteral("Graph")))
                                   .convertToFormat(QImage::Format_RGB32);
        row << QString::number(qHashBits(picture.constBits(), size_t(picture.sizeInBytes())));
        out << row.join(QLatin1Char('|'));
    }
    return out;
}

// The two formats a bank is exported to, as data rows of the file name to export to.
void exportTargets(const QString& base) {
    QTest::addColumn<QString>("target");
    QTest::newRow("moodle") << base + QStringLiteral(".xml");
    QTest::newRow("csv") << base + QStringLiteral(".csv");
}

} // namespace

class TestBankExchange : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_sample;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void makeBank(const QString& at, const QVector<bankfile::Question>& questions) {
        bankfile::Writer writer(at);
        for (const auto& q : questions)
            writer.add(q);
        writer.commit();
    }

private slots:
    void initTestCase() {
        formats::resetFromHostLocale();
        m_sample = path(QStringLiteral("sample.mdb"));
        const QString source = QStringLiteral(KV_SAMPLE_SOURCE);
        makeBank(m_sample, banksource::parse(textfile::readFile(source, 1 << 24),
                                             QFileInfo(source).absolutePath()));
    }

    void sampleBankSurvivesExportAndImport_data() { exportTargets(QStringLiteral("sample")); }
    void sampleBankSurvivesExportAndImport() {
        QFETCH(QString, target);
        Report report;
        QCOMPARE(exportBank(m_sample, path(target), Format::Guess, false, report), 0);
        const QString back = path(target + QStringLiteral(".mdb"));
        QCOMPARE(importBank({path(target), back, Format::Guess, false, false}, report), 0);
        const QStringList original = contents(m_sample);
        QVERIFY(original.size() > 10);
        QCOMPARE(contents(back), original);
        // Nothing is written over: neither the export nor the bank.
        const QByteArray before = fileBytes(path(target));
        QVERIFY_THROWS_EXCEPTION(Error,
                                 exportBank(m_sample, path(target), Format::Guess, false, report));
        QCOMPARE(fileBytes(path(target)), before);
        const QStringList imported = contents(back);
        QVERIFY_THROWS_EXCEPTION(
            Error, importBank({path(target), back, Format::Guess, false, false}, report));
        QCOMPARE(contents(back), imported);
    }

    // Texts a spreadsheet would run as formulas leave neutralised and come back as they were,
    // and so do blanks at the ends of texts.
    void trickyTextsSurviveExportAndImport_data() { exportTargets(QStringLiteral("tricky")); }
    void trickyTextsSurviveExportAndImport() {
        QFETCH(QString, target);
        const QString bank = path(QStringLiteral("tricky.mdb"));
        if (!QFileInfo::exists(bank)) {
            bankfile::Question formulas, blanks;
            formulas.name = -3;
            formulas.vopros = QStringLiteral("=1+1");
            formulas.otvet[0] = QStringLiteral("+7");
            formulas.otvet[1] = QStringLiteral("-5");
            formulas.otvet[2] = QStringLiteral("@SUM(A1)");
            formulas.otvet[3] = QStringLiteral("'=x");
            formulas.prOtvet = 1;
            blanks.name = 2;
            blanks.vopros = QStringLiteral("\nВопрос\u00a0");
            blanks.otvet[0] = QStringLiteral("''-y");
            blanks.otvet[1] = QStringLiteral("'обычный");
            blanks.otvet[2] = QStringLiteral(" a ");
            blanks.otvet[3] = QStringLiteral("\u00a0Париж\n");
            blanks.prOtvet = 2;
            makeBank(bank, {formulas, blanks});
        }
        Report report;
        QCOMPARE(exportBank(bank, path(target), Format::Guess, false, report), 0);
        if (target.endsWith(QLatin1String(".csv")))
            QCOMPARE(fileBytes(path(target)).split('\n').value(1),
                     QByteArray("'-3;'=1+1;'+7;'-5;'@SUM(A1);''=x;1;\r"));
        const QString back = path(target + QStringLiteral(".mdb"));
        QCOMPARE(importBank({path(target), back, Format::Guess, false, false}, report), 0);
        QCOMPARE(contents(back), contents(bank));
    }

    void csvPicturesAreBitmapsBesideIt() {
        const QDir dir(path(QString()));
        const QStringList bmps = dir.entryList({QStringLiteral("sample-*.bmp")});
        QVERIFY(bmps.size() >= 2);
        for (const QString& name : bmps)
            QVERIFY(!decodeGraph(fileBytes(path(name))).isNull());
        QVERIFY(dir.entryList({QStringLiteral("*.XXXXXX"), QStringLiteral("*.part")}).isEmpty());
    }

    void refusalsWriteNothingUnlessSkipped() {
        const QString source = path(QStringLiteral("mixed.txt"));
        writeFile(source, "Хороший\nA) a\nB) b\nC) c\nD) d\nANSWER: C\n\n"
                          "Плохой\nA) a\nB) b\nANSWER: A\n");
        const QString bank = path(QStringLiteral("mixed.mdb"));
        Report report;
        QCOMPARE(importBank({source, bank, Format::Aiken, false, false}, report), 1);
        QVERIFY(!QFileInfo::exists(bank));
        QCOMPARE(report.err.first(), QStringLiteral("mixed.txt: строка 8: вариантов ответа 2, а "
                                                    "нужно ровно четыре"));
        QCOMPARE(importBank({source, bank, Format::Aiken, true, true}, report), 0);
        QVERIFY(!QFileInfo::exists(bank)); // a dry run
        QCOMPARE(importBank({source, bank, Format::Aiken, true, false}, report), 0);
        QCOMPARE(contents(bank).size(), 1);
        QVERIFY(QDir(path(QString())).entryList({QStringLiteral("*.part")}).isEmpty());
        // The format comes from the extension; ".txt" says nothing.
        QVERIFY_THROWS_EXCEPTION(
            Error, importBank({source, path(QStringLiteral("x.mdb")), Format::Guess, true, false},
                              report));
        // A source without a single question writes nothing either.
        writeFile(path(QStringLiteral("none.gift")), "// пусто\n");
        QCOMPARE(importBank({path(QStringLiteral("none.gift")), path(QStringLiteral("none.mdb")),
                             Format::Guess, true, false},
                            report),
                 1);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("none.mdb"))));
    }

    void checkListsWhatWouldMisbehave() {
        const QString bank = path(QStringLiteral("faulty.mdb"));
        QVector<bankfile::Question> records(8);
        for (int i = 0; i < records.size(); ++i) {
            records[i].name = i + 1;
            records[i].vopros = QStringLiteral("Вопрос %1").arg(i + 1);
            for (int k = 0; k < 4; ++k)
                records[i].otvet[k] = QStringLiteral("ответ %1").arg(k + 1);
            records[i].prOtvet = 1;
        }
        records[1].prOtvet = QStringLiteral("два");
        records[2].prOtvet = 5;
        records[3].graph = "\xff\xd8\xff\xe0 a JPEG";
        records[4].otvet[2] = QStringLiteral(" ");
        records[4].otvet[3] = QStringLiteral("ответ 1");
        records[5].vopros = records[0].vopros;
        records[6].prOtvet = 2.0; // reads as 2
        records[7].vopros = QStringLiteral("\nВопрос 8\u00a0");
        records[7].otvet[1] = QStringLiteral("Париж\u00a0");
        records[7].otvet[2] = QStringLiteral("\tответ 3 ");
        makeBank(bank, records);
        Report report;
        QCOMPARE(checkBank(bank, report), 1);
        QCOMPARE(
            report.out,
            (QStringList{
                "запись 2: PrOtvet «два» не читается как число: тест остановится с ошибкой",
                "запись 3: PrOtvet «5» — не 1, 2, 3 или 4: верного ответа не будет",
                "запись 4: рисунок программа не покажет: Bitmap image is not valid",
                "запись 5: пустой вариант ответа №3", "запись 5: варианты ответа №1 и №4 совпадают",
                "запись 6: тот же вопрос, что в записи 1",
                "запись 8: в тексте вопроса в начале перевод строки, в конце неразрывный пробел",
                "запись 8: в варианте ответа №2 в конце неразрывный пробел",
                "запись 8: в варианте ответа №3 в начале табуляция, в конце пробел",
                "записей 8, с замечаниями 6"}));
        Report clean;
        QCOMPARE(checkBank(m_sample, clean), 0);
    }

    void checkReadsNumbersWithTheSystemSeparator() {
        const QString bank = path(QStringLiteral("comma.mdb"));
        bankfile::Question q;
        q.vopros = QStringLiteral("В");
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = QString::number(k);
        q.prOtvet = QStringLiteral("3,0");
        makeBank(bank, {q});
        formats::settings().decimalSeparator = QLatin1Char(',');
        Report comma;
        QCOMPARE(checkBank(bank, comma), 0);
        formats::settings().decimalSeparator = QLatin1Char('.');
        Report dot;
        QCOMPARE(checkBank(bank, dot), 1);
        formats::resetFromHostLocale();
    }

    void toolExitCodes() {
        const auto run = [](const QStringList& args) {
            QProcess tool;
            tool.start(QStringLiteral(KV_BANK_TOOL), args);
            tool.waitForFinished(60000);
            return tool.exitCode();
        };
        const QString source = path(QStringLiteral("tool.txt"));
        writeFile(source, "В?\nA) a\nB) b\nC) c\nD) d\nANSWER: A\n\nПлохой\nANSWER: A\n");
        const QString bank = path(QStringLiteral("tool.mdb"));
        QCOMPARE(run({"import", "--format", "aiken", source, bank}), 1);
        QCOMPARE(run({"import", "--format", "aiken", "--skip-bad", source, bank}), 0);
        QCOMPARE(run({"import", "--format", "aiken", "--skip-bad", source, bank}), 1);
        QCOMPARE(run({"check", bank}), 0);
        QCOMPARE(run({"check", path(QStringLiteral("faulty.mdb"))}), 1);
        QCOMPARE(run({"check", path(QStringLiteral("missing.mdb"))}), 1);
        QCOMPARE(run({"import", "--format", "docx", source, bank}), 2);
        QCOMPARE(run({"export", bank}), 2);
    }

    void exportRefusesWhatItCannotCarry() {
        const QString bank = path(QStringLiteral("unanswerable.mdb"));
        bankfile::Question good, bad;
        good.prOtvet = 1;
        bad.prOtvet = 0;
        makeBank(bank, {good, bad});
        Report report;
        QCOMPARE(exportBank(bank, path(QStringLiteral("u.xml")), Format::Guess, false, report), 1);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("u.xml"))));
        QCOMPARE(report.err.first(), QStringLiteral("запись 2: не выгружена: номер правильного "
                                                    "ответа «0» — не 1, 2, 3 или 4"));
        QCOMPARE(exportBank(bank, path(QStringLiteral("u.xml")), Format::Guess, true, report), 0);
        QVERIFY(QFileInfo::exists(path(QStringLiteral("u.xml"))));
    }
};

QTEST_GUILESS_MAIN(TestBankExchange)
#include "test_bank_exchange.moc"
