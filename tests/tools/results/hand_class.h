#pragma once

// The class whose figures were worked out by hand: six finished runs and one abandoned one
// over the five questions of results_sample.h. Shared by the report over protocol files and
// the report over the classroom server's runs, which must give the same figures.
#include "class_stats.h"
#include "results_sample.h"

#include <QTest>

namespace sample {

inline QList<QList<Answer>> handRuns() {
    return {
        {{1, 2, 5}, {2, 3, 10}, {3, 1, 4}, {4, 4, 2}, {5, 2, 3}},   // 4 of 5
        {{1, 2, 7}, {2, 3, 20}, {3, 4, 6}, {4, 4, 2}, {5, 3, 3}},   // 3
        {{1, 2, 9}, {2, 1, 30}, {3, 2, 8}, {4, 4, 2}, {5, 1, 3}},   // 3
        {{1, 2, 11}, {2, 1, 40}, {3, 0, 35}, {4, 4, 2}, {5, 4, 3}}, // 2, one time-out
        {{1, 1, 13}, {2, 1, 50}, {3, 2, 10}, {4, 4, 2}, {5, 1, 3}}, // 2
        {{1, 2, 15}, {2, 1, 60}, {3, 3, 12}, {4, 4, 2}, {5, 2, 3}}, // 2
        {{1, 2, 3}},                                                // abandoned
    };
}
inline constexpr int handFinishedRuns = 6;

// The figures of the hand computation; QCOMPARE fails the calling test.
inline void verifyHandClass(const results::ClassResults& c) {
    using namespace results;
    QCOMPARE(c.runs().size(), 7);
    QCOMPARE(c.finishedRuns(), 6);
    QCOMPARE(c.groupSize(), 2); // ceil(0.27 × 6)
    const RunRow& d = c.runs()[3];
    QCOMPARE(d.right, 2);
    QCOMPARE(d.wrong, 3);
    QCOMPARE(d.timeOuts, 1);
    QCOMPARE(d.percent, 40.0);
    QCOMPARE(d.answerSeconds, 11.0 + 40 + 35 + 2 + 3);
    QCOMPARE(c.runs()[0].percent, 80.0);
    QVERIFY(!c.runs()[6].finished);
    QCOMPARE(c.runs()[6].percent, 100.0);

    // Upper group: runs 0 and 1; lower group: runs 5 and 4 (ties keep file order).
    struct Expected {
        int shown, right;
        double difficulty, discrimination, median;
        QList<int> chosen; // time-outs, options 1..4
        QStringList verdicts;
    };
    const QList<Expected> expected{
        {7, 6, 6.0 / 7, 0.5, 9, {0, 1, 6, 0, 0}, {}},
        {6,
         2,
         2.0 / 6,
         1.0,
         35,
         {0, 4, 0, 2, 0},
         {QStringLiteral("вариант 1 выбирают чаще верного")}},
        {6,
         1,
         1.0 / 6,
         0.5,
         9,
         {1, 1, 2, 1, 1},
         {QStringLiteral("слишком трудный"), QStringLiteral("вариант 2 выбирают чаще верного")}},
        {6, 6, 1.0, 0.0, 2, {0, 0, 0, 0, 6}, {QStringLiteral("слишком лёгкий")}},
        {6, 2, 2.0 / 6, -0.5, 3, {0, 2, 2, 1, 1}, {QStringLiteral("не различает")}},
    };
    QCOMPARE(c.questions().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QuestionStats& q = c.questions()[i];
        const Expected& e = expected[i];
        QCOMPARE(q.record, i + 1);
        QCOMPARE(q.question, QStringLiteral("Вопрос %1?").arg(i + 1));
        QCOMPARE(q.rightNumber, rightOf[i + 1]);
        QCOMPARE(q.shown, e.shown);
        QCOMPARE(q.right, e.right);
        QCOMPARE(q.difficulty, e.difficulty);
        QCOMPARE(q.discrimination, e.discrimination);
        QCOMPARE(q.medianSeconds, e.median);
        QCOMPARE((QList<int>{q.chosen[0], q.chosen[1], q.chosen[2], q.chosen[3], q.chosen[4]}),
                 e.chosen);
        QCOMPARE(q.verdicts, e.verdicts);
    }
}

} // namespace sample
