// Trainee codes as the server, the teacher's tool and the program read them: typed in any case,
// with or without dashes and blanks; never a text that could be mistaken for another code.
#include "classapi.h"

#include <QTest>

class TestClassApi : public QObject {
    Q_OBJECT

private slots:
    void codesReadAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("as printed") << "K7QX-M2PD-W9"
                                    << "K7QXM2PDW9";
        QTest::newRow("lower case, blanks") << " k7qx m2pd\tw9 "
                                            << "K7QXM2PDW9";
        QTest::newRow("no separators") << "k7qxm2pdw9"
                                       << "K7QXM2PDW9";
        QTest::newRow("zero") << "K7QX-M2PD-W0"
                              << "";
        QTest::newRow("letter O") << "K7QX-M2PD-WO"
                                  << "";
        QTest::newRow("one") << "K7QX-M2PD-W1"
                             << "";
        QTest::newRow("letter I") << "K7QX-M2PD-WI"
                                  << "";
        QTest::newRow("letter l") << "K7QX-M2PD-Wl"
                                  << "";
        QTest::newRow("too short") << "K7QX-M2PD-W"
                                   << "";
        QTest::newRow("too long") << "K7QX-M2PD-W99"
                                  << "";
        QTest::newRow("cyrillic look-alike") << "К7QX-M2PD-W9"
                                             << "";
        QTest::newRow("padding past the limit") << QString(60, QLatin1Char(' ')) + "K7QXM2PDW9"
                                                << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void codesReadAsTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const std::optional<std::string> code = classapi::normaliseCode(typed.toStdString());
        QCOMPARE(code ? QString::fromStdString(*code) : QString(), stored);
        if (code)
            QCOMPARE(QString::fromStdString(classapi::groupedCode(*code)),
                     QStringLiteral("K7QX-M2PD-W9"));
    }

    void passingStatusesAreTheOnesWorthWaitingFor() {
        for (int status : {429, 502, 503, 504})
            QVERIFY2(classapi::isPassingStatus(status), qPrintable(QString::number(status)));
        for (int status : {200, 400, 401, 403, 404, 409, 413, 500})
            QVERIFY2(!classapi::isPassingStatus(status), qPrintable(QString::number(status)));
    }
};

QTEST_GUILESS_MAIN(TestClassApi)
#include "test_classapi.moc"
