#include "core_seams.h"
#include "error.h"
#include "literal_order.h"
#include "protocol_buffer.h"
#include "protocol_text.h"
#include "question_order.h"
#include "random.h"
#include "run_state.h"
#include "run_texts.h"

#include <QFile>
#include <QTest>
#include <vector>

namespace {
std::vector<std::int32_t> referenceOrder(std::int32_t n) {
    std::vector<std::int32_t> order(n + 1, 0);
    literalOrder(order, n);
    return order;
}

// Records in the order a run presents them: record 1 first, then one per advance until the
// answer that ends the run.
QList<int> presented(RunState& s) {
    QList<int> shown{1};
    s.currentRecord = 1; // what locking the first question does
    for (int guard = 0; guard < 3 * s.questionCount + 3; ++guard) {
        if (orderExhausted(s))
            return shown;
        advanceOrder(s);
        shown << s.currentRecord;
    }
    return {}; // never ends: a fault
}

QList<int> run(int n) {
    static RunState s; // large: keep it off the stack
    s = RunState();
    s.questionCount = n;
    buildQuestionOrder(s);
    return presented(s);
}
} // namespace

class TestTestingCore : public QObject {
    Q_OBJECT
private slots:
    void fastOrderMakesTheLiteralDraws() {
        std::vector<std::int32_t> order(questionorder::maxQuestions + 1);
        std::vector<std::uint8_t> taken(questionorder::maxQuestions + 1, 1);
        auto check = [&](std::int32_t n, std::uint32_t seed) {
            rng::setState(seed);
            const std::vector<std::int32_t> expected = referenceOrder(n);
            const std::uint32_t stateAfter = rng::state();
            std::fill(order.begin(), order.end(), 0);
            rng::setState(seed);
            questionorder::draw(order, taken, n);
            QCOMPARE(rng::state(), stateAfter); // the same number of draws
            for (std::int32_t i = 1; i <= n; ++i)
                QCOMPARE(order[i], expected[i]);
        };
        for (std::int32_t n = 1; n <= 500; ++n) {
            check(n, 0);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("n = %1, seed 0").arg(n)));
            check(n, std::uint32_t(n) * 2654435761u);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("n = %1").arg(n)));
        }
        check(questionorder::maxQuestions, 12345u);
    }

    void firstRunsOfAProcessGetTheFixedOrders() {
        rng::setState(0);
        QCOMPARE(run(3), (QList<int>{1, 2, 3}));
        rng::setState(0);
        QCOMPARE(run(5), (QList<int>{1, 4, 3, 2, 5}));
        rng::setState(0);
        QCOMPARE(run(10), (QList<int>{1, 8, 2, 6, 3, 4, 9, 7, 5, 10}));
        rng::setState(0);
        QCOMPARE(run(5), (QList<int>{1, 4, 3, 2, 5}));
        QCOMPARE(run(5), (QList<int>{1, 2, 4, 3, 5}));
        QCOMPARE(run(5), (QList<int>{1, 3, 4, 2, 5}));
    }

    void orderPositionsOfTheFirstRun() {
        static RunState s;
        rng::setState(0);
        s = RunState();
        s.questionCount = 3;
        buildQuestionOrder(s);
        QCOMPARE((QList<int>{s.questionOrder[1], s.questionOrder[2], s.questionOrder[3]}),
                 (QList<int>{2, 1, 3}));
        QCOMPARE(s.endMarker, 30000);
        QCOMPARE(s.orderPosition, 1);
        QCOMPARE(s.progressCount, 0);
    }

    void everyRecordOnceAndTheResultAfterTheLast() {
        rng::setState(0);
        for (int n : {2, 3, 4, 7, 16, 99, 250, 1000, questionorder::maxQuestions}) {
            const QList<int> shown = run(n);
            QCOMPARE(shown.size(), n);
            QList<int> sorted = shown;
            std::sort(sorted.begin(), sorted.end());
            for (int i = 0; i < n; ++i)
                QCOMPARE(sorted[i], i + 1);
            QCOMPARE(shown.first(), 1);
            QCOMPARE(shown.last(), n);
        }
        for (std::uint32_t seed : {1u, 77u, 0xdeadbeefu}) {
            rng::setState(seed);
            QCOMPARE(run(2), (QList<int>{1, 2}));
        }
    }

    void oneRecordBankEndsAtItsFirstAnswer() { QCOMPARE(run(1), QList<int>{1}); }

    // A run taken up again: the order it drew is taken back only when it is one a run could
    // have drawn, and the answers the server already has are presented first, the rest in the
    // order's own sequence, record 1 first and the last record last.
    void aRunTakenUpAgainKeepsItsOrder_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QList<int>>("kept"); // positions 0 .. n; empty: draw a new one
        QTest::addColumn<QList<int>>("first");
        QTest::addColumn<QList<int>>("presented"); // empty: the kept order is refused
        QTest::newRow("its own order, two answered")
            << 5 << QList<int>{0, 4, 1, 3, 2, 5} << QList<int>{1, 4} << QList<int>{1, 4, 3, 2, 5};
        QTest::newRow("answers in another sequence than the order")
            << 5 << QList<int>{0, 4, 1, 3, 2, 5} << QList<int>{1, 3, 2}
            << QList<int>{1, 3, 2, 4, 5};
        QTest::newRow("every record answered")
            << 3 << QList<int>{0, 2, 1, 3} << QList<int>{1, 2, 3} << QList<int>{1, 2, 3};
        QTest::newRow("a record twice in the order")
            << 4 << QList<int>{0, 2, 2, 1, 4} << QList<int>{} << QList<int>{};
        QTest::newRow("the last position not the last record")
            << 3 << QList<int>{0, 2, 3, 1} << QList<int>{} << QList<int>{};
        QTest::newRow("an order of another bank")
            << 3 << QList<int>{0, 1, 2, 3, 4} << QList<int>{} << QList<int>{};
    }
    void aRunTakenUpAgainKeepsItsOrder() {
        QFETCH(int, n);
        QFETCH(QList<int>, kept);
        QFETCH(QList<int>, first);
        QFETCH(QList<int>, presented);
        static RunState s;
        s = RunState();
        s.questionCount = n;
        s.rightCount = 3; // left from an earlier run
        QCOMPARE(restoreQuestionOrder(s, QVector<int>(kept.begin(), kept.end())),
                 !presented.isEmpty());
        if (presented.isEmpty()) {
            QCOMPARE(s.rightCount, 3.0); // nothing changed
            return;
        }
        QCOMPARE(s.rightCount, 0.0);
        QVERIFY(presentFirst(s, QVector<int>(first.begin(), first.end())));
        QCOMPARE(::presented(s), presented);
    }

    void questionBlockLines() {
        protocol::ShownQuestion q;
        q.record = 1;
        q.question = QStringLiteral("Первая строка\r\nвторая");
        q.options[0] = QString();
        q.options[1] = QStringLiteral("два");
        q.options[2] = QStringLiteral("три");
        q.options[3] = QStringLiteral("четыре");
        q.answerNumber = 3;
        q.rightAnswer = QStringLiteral("3");
        q.allowedText = QStringLiteral("35");
        q.shownText = QStringLiteral("30");
        const QStringList lines = protocol::questionBlock(q);
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[0], QStringLiteral("\\\\") + QString(63, QLatin1Char('-')));
        QCOMPARE(lines[0].size(), 65);
        QCOMPARE(lines[1], QStringLiteral("Вопрос № 1"));
        QCOMPARE(lines[3], q.question); // as the bank holds it
        QCOMPARE(lines[4], QStringLiteral("1. "));
        QCOMPARE(lines[8], QStringLiteral("Ваш ответ № 3"));
        QCOMPARE(lines[9], QStringLiteral("Правильный ответ:3"));
        QCOMPARE(lines[10], QStringLiteral("Вы отвечали на вопрос: 5 сек. из 35"));
        QCOMPARE(lines[11], QString());

        q.shownText = QString(); // a countdown cleared under a run: nothing half-written
        QVERIFY_THROWS_EXCEPTION(Error, protocol::questionBlock(q));
    }

    void secondsShownFollowTheCountdown() {
        // The countdown holds the allowance when a question is shown, and one less after
        // each tick; a time-out leaves 0. Seconds used are 35 minus the seconds shown.
        RunState s;
        const QList<std::pair<double, double>> leftAndShown{{35, 35}, {34, 35}, {33, 34},
                                                            {25, 26}, {1, 2},   {0, 1}};
        for (const auto& [left, shown] : leftAndShown) {
            s.countdown = left;
            QCOMPARE(secondsShown(s, 35), shown);
        }
    }

    void protocolBufferKeepsTheBankTexts() {
        ProtocolBuffer buffer;
        buffer.append({QStringLiteral("a\u00A0b"), QStringLiteral("x\ny\r\nz\rw"), QString()});
        buffer.append({QStringLiteral("ё")});
        QCOMPARE(buffer.bytes(), QByteArray("a\xA0"
                                            "b\r\nx\ny\r\nz\rw\r\n\r\n\xB8\r\n"));
        buffer.clear();
        QCOMPARE(buffer.bytes(), QByteArray());
    }

    void fileNames() {
        const QString d = QStringLiteral("7-12-2026"), t = QStringLiteral("9-05-03");
        QCOMPARE(protocol::fileName(QStringLiteral("Иванов И.И."), d, t, false),
                 QStringLiteral("Иванов И.И.  7-12-2026  9-05-03.usr"));
        QCOMPARE(protocol::fileName(QStringLiteral(" "), d, t, true),
                 QStringLiteral("_   7-12-2026  9-05-03.usr"));
        QCOMPARE(protocol::fileName(QStringLiteral("a/b//c"), d, t, true),
                 QStringLiteral("_a_b__c  7-12-2026  9-05-03.usr"));
        QCOMPARE(protocol::headerLine(QStringLiteral("a/b"), d, t),
                 QStringLiteral("a/b  7-12-2026  9-05-03"));
    }

    void longNamesAreCutBetweenCharacters_data() {
        QTest::addColumn<QString>("character"); // one character as a reader sees it
        QTest::newRow("Latin") << QStringLiteral("n");
        QTest::newRow("Cyrillic") << QStringLiteral("Ж");
        QTest::newRow("outside the BMP") << QStringLiteral("😀");
        QTest::newRow("letter and combining mark") << QStringLiteral("и\u0306");
    }
    void longNamesAreCutBetweenCharacters() {
        QFETCH(QString, character);
        const QString d = QStringLiteral("17-12-2026"), t = QStringLiteral("19-05-03");
        const QString rest = QStringLiteral("  17-12-2026  19-05-03.usr");
        for (bool unfinished : {false, true}) {
            const QString name = character.repeated(300);
            const QString file = protocol::fileName(name, d, t, unfinished);
            const qsizetype bytes = QFile::encodeName(file).size();
            const qsizetype step = QFile::encodeName(character).size();
            QVERIFY2(bytes <= 255 && bytes > 255 - step, qPrintable(QString::number(bytes)));
            QVERIFY(file.startsWith(unfinished ? QStringLiteral("_") : QString()));
            QVERIFY(file.endsWith(rest));
            const QString kept = file.mid(unfinished ? 1 : 0).chopped(rest.size());
            QCOMPARE(kept, character.repeated(kept.size() / character.size()));
        }
        // A name that fits is kept whole, up to the last byte.
        const QString fits(255 - 26, QLatin1Char('n'));
        QCOMPARE(protocol::fileName(fits, d, t, false), fits + rest);
    }
};

QTEST_GUILESS_MAIN(TestTestingCore)
#include "test_testing_core.moc"
