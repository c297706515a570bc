// The protocol reader and the class figures: texts made with the program's own protocol
// writer, damaged files, and a small class whose figures were worked out by hand.
#include "class_stats.h"
#include "hand_class.h"
#include "protocol_reader.h"
#include "results_sample.h"

#include <QTest>
#include <cmath>

using namespace results;
using sample::Answer;

namespace {
Protocol read(const QString& text) {
    const ReadResult r = readProtocol(text);
    if (!r.ok)
        qWarning() << r.error;
    return r.protocol;
}

// The class of the hand computation, as protocol files.
ClassResults handClass() {
    const QList<QList<Answer>> runs = sample::handRuns();
    ClassResults c;
    for (int i = 0; i < runs.size(); ++i) {
        const bool finished = i < sample::handFinishedRuns;
        c.add(QStringLiteral("%1run%2.usr").arg(finished ? "" : "_").arg(i),
              read(sample::protocolText(QStringLiteral("Ученик %1").arg(i), runs[i], finished)));
    }
    c.finish();
    return c;
}
} // namespace

class TestResultsCore : public QObject {
    Q_OBJECT

private slots:
    void readsWhatTheProgramWrites() {
        const QString text =
            sample::protocolText(QStringLiteral("Петров  Пётр"), {{1, 2, 5}, {3, 0, 35}}, true);
        const ReadResult r = readProtocol(text);
        QVERIFY2(r.ok, qPrintable(r.error));
        const Protocol& p = r.protocol;
        QCOMPARE(p.name, QStringLiteral("Петров  Пётр")); // two blanks inside the name
        QCOMPARE(p.date, QStringLiteral("7-12-2026"));
        QCOMPARE(p.startTime, QStringLiteral("9-05-03"));
        QCOMPARE(p.endTime, QStringLiteral("9-12-33"));
        QVERIFY(p.finished);
        QCOMPARE(p.blocks.size(), 2);
        const QuestionBlock& b = p.blocks[1];
        QCOMPARE(b.record, 3);
        QCOMPARE(b.question.toString(), QStringLiteral("Вопрос 3?"));
        QCOMPARE(b.options[3].toString(), QStringLiteral("Ответ 3.4"));
        QCOMPARE(b.answer, 0);
        QCOMPARE(b.rightNumber, 1);
        QCOMPARE(b.usedSeconds, 35.0);
        QVERIFY(b.timeOutLines);
        QCOMPARE(p.resultRight, 1);
        QCOMPARE(p.resultWrong, 1);
        QCOMPARE(p.resultTotal, 2);
        QCOMPARE(p.mismatch, QString());
        // The same text with bare LF line ends reads the same.
        QString lf = text;
        lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(readProtocol(lf).protocol.blocks[1].question.toString(), b.question.toString());
    }

    void multiLineTextsTakeTheLastMarkers() {
        protocol::ShownQuestion q = sample::shown({1, 2, 5});
        q.question = QStringLiteral("1. Первая строка вопроса\n4. и вторая");
        q.options[0] = QStringLiteral("пять\n2. шесть"); // looks like the next marker
        q.options[1] = QString();                        // "2. " alone
        q.options[3] = QStringLiteral("много\nстрок\n");
        QStringList lines =
            protocol::header(QStringLiteral("Имя  1-1-2027  8-00-00"), QStringLiteral("8-00-00"));
        lines << protocol::questionBlock(q)
              << protocol::footer(protocol::unfinishedText(), QStringLiteral("8-01-00"));
        for (const QString& eol : {QStringLiteral("\n"), QStringLiteral("\r\n")}) {
            const ReadResult r =
                readProtocol(lines.join(QLatin1Char('\n')).replace(QLatin1Char('\n'), eol));
            QVERIFY2(r.ok, qPrintable(r.error));
            const QuestionBlock& b = r.protocol.blocks.value(0);
            QCOMPARE(b.question.toString(), q.question);
            QCOMPARE(b.options[0].toString(), q.options[0]);
            QCOMPARE(b.options[1].toString(), QString());
            QCOMPARE(b.options[2].toString(), q.options[2]);
            QCOMPARE(b.options[3].toString(), q.options[3]);
            QVERIFY(!r.protocol.finished);
        }
    }

    void editedResultLineIsFlagged() {
        QString text = sample::protocolText(QStringLiteral("Имя"), {{1, 2, 5}, {2, 1, 5}}, true);
        text.replace(QStringLiteral("результат: правильных ответов 1."),
                     QStringLiteral("результат: правильных ответов 2."));
        const ReadResult r = readProtocol(text);
        QVERIFY(r.ok);
        QCOMPARE(r.protocol.mismatch,
                 QStringLiteral("в итоговой строке правильных 2, неправильных 1, всего 2; по "
                                "вопросам протокола 1, 1, 2"));
        text.replace(QStringLiteral("результат: правильных ответов 2."),
                     QStringLiteral("результат: правильных ответов два."));
        QVERIFY(readProtocol(text).protocol.mismatch.startsWith(
            QStringLiteral("в итоговой строке правильных ?, неправильных 1")));
    }

    void damagedFiles_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        const QString good = sample::protocolText(QStringLiteral("Имя"), {{1, 2, 5}}, true);
        QTest::newRow("empty") << QString() << QStringLiteral("файл пуст");
        QTest::newRow("other text") << QStringLiteral("Список покупок\nхлеб\nмолоко\n")
                                    << QStringLiteral("не протокол теста");
        QTest::newRow("binary") << QString::fromLatin1("BM\x06\0\0\0\xff\xfe", 8)
                                << QStringLiteral("не протокол теста");
        QTest::newRow("no date in header")
            << QString(good).replace(QStringLiteral("Имя  7-12-2026  9-05-03"),
                                     QStringLiteral("Имя 7-12-2026 9-05-03"))
            << QStringLiteral("первая строка");
        QTest::newRow("cut off") << good.left(good.indexOf(QStringLiteral("Ваш ответ")))
                                 << QStringLiteral("протокол оборван");
        QTest::newRow("option line lost")
            << QString(good).replace(QStringLiteral("3. Ответ 1.3"), QStringLiteral("3) Ответ 1.3"))
            << QStringLiteral("блок 1 («Вопрос № 1»): нет строк вариантов");
        QTest::newRow("answer out of range")
            << QString(good).replace(QStringLiteral("Ваш ответ № 2"),
                                     QStringLiteral("Ваш ответ № 7"))
            << QStringLiteral("«Ваш ответ № …» с номером от 0 до 4");
        QTest::newRow("seconds lost")
            << QString(good).remove(QStringLiteral("Вы отвечали на вопрос: 5 сек. из 35\r\n"))
            << QStringLiteral("блок 1");
        QTest::newRow("foreign footer")
            << QString(good).replace(QStringLiteral("Проверка"), QStringLiteral("Итог"))
            << QStringLiteral("не итог теста");
        QTest::newRow("lines before the first block")
            << QString(good).replace(QStringLiteral("9-05-03\r\n\r\n\\\\"),
                                     QStringLiteral("9-05-03\r\n\r\nлишнее\r\n\\\\"))
            << QStringLiteral("нет начала вопроса");
    }
    void damagedFiles() {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        const ReadResult r = readProtocol(text);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
    }

    void handComputedClass() {
        const ClassResults c = handClass();
        sample::verifyHandClass(c);
        QCOMPARE(c.runs()[3].totalSeconds, 7 * 60 + 30);
        QVERIFY(!c.hasServerSeconds()); // protocol files have only the trainee's own count
        QCOMPARE(c.questions()[0].medianServerSeconds, -1.0);
    }

    void fewRunsGiveNoGroupsAndNoVerdicts() {
        ClassResults c;
        c.add(QStringLiteral("a.usr"),
              read(sample::protocolText(QStringLiteral("А"), {{1, 2, 5}}, true)));
        c.finish();
        QVERIFY(std::isnan(c.questions().value(0).discrimination));
        QCOMPARE(c.questions().value(0).verdicts, QStringList{QStringLiteral("мало ответов")});
    }

    void questionsAreTheirTextsNotTheirRecordNumbers() {
        // Two banks: record 1 is another question in each; the same text under two numbers
        // is one question.
        const QString first = sample::protocolText(QStringLiteral("А"), {{1, 2, 5}}, true);
        QString other = first;
        other.replace(QStringLiteral("Вопрос 1?"), QStringLiteral("Другой вопрос?"));
        QString renumbered = first;
        renumbered.replace(QStringLiteral("Вопрос № 1"), QStringLiteral("Вопрос № 7"));
        ClassResults c;
        for (const QString& text : {first, other, first, renumbered})
            c.add(QStringLiteral("x.usr"), read(text));
        c.finish();
        QCOMPARE(c.questions().size(), 2);
        QCOMPARE(c.questions()[0].shown, 3);
        QCOMPARE(c.questions()[1].question, QStringLiteral("Другой вопрос?"));
        QCOMPARE(c.questions()[1].shown, 1);
    }

    void numbersAndTimes() {
        double v = 0;
        QVERIFY(readNumber(QStringLiteral(" 2,5 "), &v) && v == 2.5);
        QVERIFY(readNumber(QStringLiteral("-3"), &v) && v == -3);
        QVERIFY(!readNumber(QStringLiteral("3 сек"), &v));
        QVERIFY(!readNumber(QStringLiteral(""), &v));
        QCOMPARE(secondsOfDay(QStringLiteral("9-05-03")), 9 * 3600 + 5 * 60 + 3);
        QCOMPARE(secondsOfDay(QStringLiteral("09:05:03")), 9 * 3600 + 5 * 60 + 3);
        QCOMPARE(secondsOfDay(QStringLiteral("25-00-00")), -1);
        QCOMPARE(secondsOfDay(QStringLiteral("9-05")), -1);
    }
};

QTEST_MAIN(TestResultsCore)
#include "test_results_core.moc"
