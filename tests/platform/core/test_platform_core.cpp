#include "core_seams.h"
#include "error.h"
#include "formats.h"
#include "numbers.h"
#include "random.h"
#include "textfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

class TestPlatformCore : public QObject {
    Q_OBJECT
private slots:
    void init() {
        formats::resetFromHostLocale();
        formats::settings().decimalSeparator = QLatin1Char('.');
    }

    void generatorDrawsFromStateZero() {
        rng::setState(0);
        // state 1 -> floor(1*10/2^32) = 0; state 134775814 -> 0; the third draw is non-zero.
        QCOMPARE(rng::random(10), 0);
        QCOMPARE(rng::state(), 1u);
        QCOMPARE(rng::random(10), 0);
        QCOMPARE(rng::state(), 134775814u);
        const quint32 s3 = 134775814u * 134775813u + 1u;
        QCOMPARE(rng::random(10), qint32((quint64(s3) * 10u) >> 32));
        QCOMPARE(rng::state(), s3);
        // Random(1) is always 0 but still advances the state.
        rng::setState(12345);
        QCOMPARE(rng::random(1), 0);
        QCOMPARE(rng::state(), 12345u * 134775813u + 1u);
    }

    void numberTexts_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 35.0 << "35";
        QTest::newRow("half") << 0.5 << "0.5";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative") << -1.0 << "-1";
        QTest::newRow("large") << 10000.0 << "10000";
        QTest::newRow("third") << 1.0 / 3.0 << "0.333333333333333";
        QTest::newRow("exponent") << 1e20 << "1E20";
    }
    void numberTexts() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(numbers::floatToStr(value), text);
    }

    void textToNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "2" << true << 2.0;
        QTest::newRow("leading zero") << "02" << true << 2.0;
        QTest::newRow("blanks") << " 3 " << true << 3.0;
        QTest::newRow("fraction") << "2.5" << true << 2.5;
        QTest::newRow("sign") << "-4" << true << -4.0;
        QTest::newRow("exponent") << "1e2" << true << 100.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("letters") << "x" << false << 0.0;
        QTest::newRow("trailing letter") << "2a" << false << 0.0;
        QTest::newRow("comma") << "2,5" << false << 0.0;
        QTest::newRow("lone point") << "." << false << 0.0;
        QTest::newRow("bare exponent") << "1e" << false << 0.0;
        QTest::newRow("plus") << "+2" << true << 2.0;
        QTest::newRow("too large") << "1e400" << false << 0.0;
        QTest::newRow("too small") << "1e-400" << true << 0.0;
        QTest::newRow("many digits") << QString(400, QLatin1Char('9')) << false << 0.0;
        QTest::newRow("tiny fraction")
            << "0." + QString(400, QLatin1Char('0')) + "1" << true << 0.0;
    }
    void textToNumber() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        double v = -99;
        QCOMPARE(numbers::tryStrToFloat(text, &v), ok);
        if (ok) {
            QCOMPARE(v, value);
            return;
        }
        try {
            numbers::strToFloat(text);
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(e.message(),
                     QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
    }

    void wholeNumbersReadExactly_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("value");
        const int no = int(numbers::Whole::No), yes = int(numbers::Whole::Yes),
                  tooLarge = int(numbers::Whole::TooLarge);
        QTest::newRow("with a fraction of zeros")
            << " 12345678901234567.000 " << yes << 12345678901234567LL;
        QTest::newRow("smallest") << "-9223372036854775808" << yes
                                  << qint64(-1) - 9223372036854775807LL;
        QTest::newRow("huge exponent") << "1e99999999999999999999" << tooLarge << 0LL;
        QTest::newRow("zero, any exponent") << "0.0e99999999999999999999" << yes << 0LL;
        QTest::newRow("small exponent") << "25e-1" << no << 0LL;
        QTest::newRow("whole by exponent") << "250e-1" << yes << 25LL;
        QTest::newRow("tiny exponent") << "1e-99999999999999999999" << no << 0LL;
    }
    void wholeNumbersReadExactly() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(qint64, value);
        qint64 v = -99;
        QCOMPARE(int(numbers::readWhole(text, &v)), kind);
        if (kind == int(numbers::Whole::Yes))
            QCOMPARE(v, value);
    }

    void decimalSeparatorComesFromSettings() {
        formats::settings().decimalSeparator = QLatin1Char(',');
        QCOMPARE(numbers::strToFloat(QStringLiteral("2,5")), 2.5);
        QVERIFY(!numbers::tryStrToFloat(QStringLiteral("2.5"), nullptr));
        QCOMPARE(numbers::floatToStr(0.5), QStringLiteral("0,5"));
    }

    void numbersIgnoreTheCLibraryLocale() {
        // Qt takes LC_NUMERIC from the environment; under a Russian one the C library's
        // conversions stop at ".".
        const QByteArray saved = std::setlocale(LC_NUMERIC, nullptr);
        if (!std::setlocale(LC_NUMERIC, "ru_RU.UTF-8"))
            QSKIP(
                "ru_RU.UTF-8 is not installed (scripts/install-deps.sh test installs locales-all)");
        formats::settings().decimalSeparator = QLatin1Char(',');
        const double comma = numbers::strToFloat(QStringLiteral("2,5"));
        const double nine = numbers::strToFloat(QStringLiteral("3,9"));
        formats::settings().decimalSeparator = QLatin1Char('.');
        const double point = numbers::strToFloat(QStringLiteral("0.25e1"));
        std::setlocale(LC_NUMERIC, saved.constData());
        QCOMPARE(comma, 2.5);
        QCOMPARE(nine, 3.9);
        QCOMPARE(point, 2.5);
    }

    void dateAndTimePatterns() {
        formats::Settings s;
        s.dateSeparator = QLatin1Char('-');
        s.timeSeparator = QLatin1Char('-');
        const QDateTime t(QDate(2026, 12, 7), QTime(9, 5, 3));
        QCOMPARE(formats::formatDateTime(QStringLiteral("d/m/yyyy"), t, s),
                 QStringLiteral("7-12-2026"));
        QCOMPARE(formats::formatDateTime(QStringLiteral("dd/mm/yyyy"),
                                         QDateTime(QDate(2027, 3, 1), QTime()), s),
                 QStringLiteral("01-03-2027"));
        QCOMPARE(formats::formatDateTime(QStringLiteral("h:mm:ss"), t, s),
                 QStringLiteral("9-05-03"));
        QCOMPARE(formats::formatDateTime(QStringLiteral("hh:mm:ss"), t, s),
                 QStringLiteral("09-05-03"));
        const QDateTime pm(QDate(2026, 12, 7), QTime(14, 30, 0));
        QCOMPARE(formats::formatDateTime(QStringLiteral("h:mm:ss"), pm, s),
                 QStringLiteral("14-30-00"));
        QCOMPARE(formats::formatDateTime(QStringLiteral("h:mm:ss AMPM"), pm, s),
                 QStringLiteral("2-30-00 PM"));
        QCOMPARE(formats::formatDateTime(QStringLiteral("h:mm:ss AMPM"),
                                         QDateTime(QDate(2026, 1, 1), QTime(0, 1, 2)), s),
                 QStringLiteral("12-01-02 AM"));
    }

    void hostHourForms() {
        auto s = formats::fromLocaleFormats(QStringLiteral("HH:mm:ss"),
                                            QStringLiteral("dd.MM.yyyy"), QLatin1Char(','), {}, {});
        QCOMPARE(s.longTimeFormat, QStringLiteral("hh:mm:ss"));
        QCOMPARE(s.dateSeparator, QLatin1Char('.'));
        QCOMPARE(s.decimalSeparator, QLatin1Char(','));
        s = formats::fromLocaleFormats(QStringLiteral("h:mm:ss AP"), QStringLiteral("M/d/yy"),
                                       QLatin1Char('.'), QStringLiteral("AM"),
                                       QStringLiteral("PM"));
        QCOMPARE(s.longTimeFormat, QStringLiteral("h:mm:ss AMPM"));
        s = formats::fromLocaleFormats(QStringLiteral("AP h:mm:ss"), QStringLiteral("yy/M/d"),
                                       QLatin1Char('.'), {}, {});
        QCOMPARE(s.longTimeFormat, QStringLiteral("AMPM h:mm:ss"));
    }

    void clockSeam() {
        const QDateTime t(QDate(2026, 12, 7), QTime(9, 5, 3));
        clock_::setFixed(t);
        QCOMPARE(clock_::now(), t);
        clock_::advance(1500);
        QCOMPARE(clock_::now(), t.addMSecs(1500));
        clock_::useSystem();
        QVERIFY(qAbs(clock_::now().secsTo(QDateTime::currentDateTime())) < 5);
    }

    void cp1251BothWays() {
        const QString text = QStringLiteral("Мир ёЁ №—«» abc");
        const QByteArray bytes = textfile::toCp1251(text);
        QCOMPARE(bytes.size(), text.size());
        QCOMPARE(uchar(bytes[0]), uchar(0xCC)); // М
        QCOMPARE(uchar(bytes[4]), uchar(0xB8)); // ё
        QCOMPARE(textfile::fromCp1251(bytes), text);
        // Outside the code page: "?" (a surrogate pair is one character).
        QCOMPARE(textfile::toCp1251(QStringLiteral("a中b😀c")), QByteArray("a?b?c"));
    }

    void lineCodec() {
        QCOMPARE(textfile::encodeLines(QStringLiteral("a\nб")), QByteArray("a\r\n\xe1\r\n"));
        QCOMPARE(textfile::encodeLines(QStringLiteral("a\r\n\nb")), QByteArray("a\r\n\r\nb\r\n"));
        QCOMPARE(textfile::encodeLines(QString()), QByteArray());
        QCOMPARE(textfile::decodeLines("a\r\nb\nc\r\n"), QStringLiteral("a\nb\nc"));
        QCOMPARE(textfile::decodeLines("a\r\n\r\n"), QStringLiteral("a\n"));
        // Round trip of a file that ends in an empty line.
        const QByteArray file("x\r\n\r\ny\r\n\r\n");
        QCOMPARE(textfile::encodeLines(textfile::decodeLines(file)), file);
    }

    void filesAreReplacedWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.usr"));
        textfile::writeFileAtomically(path, "first");
        textfile::writeFileAtomically(path, "second");
        QCOMPARE(textfile::readFile(path, 100), QByteArray("second"));
        try {
            textfile::readFile(path, 3);
            QFAIL("no error");
        } catch (const Error& e) {
            QVERIFY(e.message().contains(path));
        }
        try {
            textfile::writeFileAtomically(dir.filePath(QStringLiteral("no/such/dir/x.usr")), "x");
            QFAIL("no error");
        } catch (const Error& e) {
            QVERIFY(e.message().startsWith(QStringLiteral("Не удалось записать файл")));
        }
        QCOMPARE(textfile::readFile(path, 100), QByteArray("second"));
    }
};

QTEST_GUILESS_MAIN(TestPlatformCore)
#include "test_platform_core.moc"
