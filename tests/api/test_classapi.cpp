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

    // Grade thresholds as typed, and the grade of right answers out of questions by them, at
    // the boundaries (exact: 4 of 5 is 80 %, not a rounded figure).
    void gradesReadAndGrade_data() {
        QTest::addColumn<QString>("thresholds");
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("grade"); // -1: the thresholds are refused
        QTest::newRow("all right") << "90,75,50" << 10 << 10 << 5;
        QTest::newRow("exactly the 5's") << "80, 60 ,40" << 4 << 5 << 5;
        QTest::newRow("just under the 5's") << "90,75,50" << 26 << 29 << 4; // 89.66 %
        QTest::newRow("exactly the 3's") << "90,75,50" << 1 << 2 << 3;
        QTest::newRow("under the 3's") << "90,75,50" << 14 << 29 << 2;
        QTest::newRow("none right") << "90,75,50" << 0 << 3 << 2;
        QTest::newRow("no questions") << "90,75,50" << 0 << 0 << 0;
        QTest::newRow("not decreasing") << "75,90,50" << 1 << 1 << -1;
        QTest::newRow("equal") << "90,90,50" << 1 << 1 << -1;
        QTest::newRow("over 100") << "101,75,50" << 1 << 1 << -1;
        QTest::newRow("zero") << "90,75,0" << 1 << 1 << -1;
        QTest::newRow("two numbers") << "90,75" << 1 << 1 << -1;
        QTest::newRow("four numbers") << "90,75,50,25" << 1 << 1 << -1;
        QTest::newRow("a fraction") << "90,75.5,50" << 1 << 1 << -1;
        QTest::newRow("a huge number") << "99999999999,75,50" << 1 << 1 << -1;
        QTest::newRow("empty") << "" << 1 << 1 << -1;
    }
    void gradesReadAndGrade() {
        QFETCH(QString, thresholds);
        QFETCH(int, right);
        QFETCH(int, questions);
        QFETCH(int, grade);
        const auto grades = classapi::parseGrades(thresholds.toStdString());
        QCOMPARE(grades.has_value(), grade >= 0);
        if (grades)
            QCOMPARE(classapi::gradeOf(right, questions, *grades), grade);
        QVERIFY(classapi::isValid(classapi::defaultGrades));
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
