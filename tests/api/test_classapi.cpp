// Trainee codes as typed (any case, dashes, blanks; nothing that reads as another code), grades.
#include "classapi.h"

#include <QTest>

class TestClassApi : public QObject {
    Q_OBJECT

private slots:
    void codesReadAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        const auto row = [](const char* name, const QString& typed, const char* stored) {
            QTest::newRow(name) << typed << QString::fromLatin1(stored);
        };
        row("as printed", "K7QX-M2PD-W9", "K7QXM2PDW9");
        row("lower case, blanks", " k7qx m2pd\tw9 ", "K7QXM2PDW9");
        row("no separators", "k7qxm2pdw9", "K7QXM2PDW9");
        for (const char* last :
             {"0", "O", "1", "I", "l", "", "99"}) // no code has it, or one too few or many
            QTest::addRow("ends in '%s'", last)
                << QStringLiteral("K7QX-M2PD-W") + last << QString();
        row("cyrillic look-alike", "К7QX-M2PD-W9", "");
        row("padding past the limit", QString(60, QLatin1Char(' ')) + "K7QXM2PDW9", "");
        row("empty", "", "");
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

    // Thresholds as typed, and grades at their boundaries (4 of 5 is exactly 80 %, not rounded).
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
        // Not falling, over 100, zero, too few or many, a fraction, past int, nothing.
        for (const char* refused : {"75,90,50", "90,90,50", "101,75,50", "90,75,0", "90,75",
                                    "90,75,50,25", "90,75.5,50", "99999999999,75,50", ""})
            QTest::addRow("refused '%s'", refused) << refused << 1 << 1 << -1;
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
    }
    void defaultGradesAreValid() { QVERIFY(classapi::isValid(classapi::defaultGrades)); }
};

QTEST_GUILESS_MAIN(TestClassApi)
#include "test_classapi.moc"
