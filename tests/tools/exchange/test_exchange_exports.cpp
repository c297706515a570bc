// Exports as other systems write them (tests/fixtures/exchange): HTML options with pictures,
// sounds, links and attachments, entities, the editor's trailing breaks and non-breaking spaces,
// and the same refusals in the same words from either format.
#include "aiken.h"
#include "gift.h"
#include "moodlexml.h"
#include "textfile.h"

#include <QTest>

using namespace exchange;

namespace {

QByteArray fixture(const char* name) {
    return textfile::readFile(QStringLiteral(KV_EXCHANGE_FIXTURES "/") + QLatin1String(name),
                              1 << 20);
}

QStringList messages(const QVector<Message>& list) {
    QStringList out;
    for (const Message& m : list)
        out << QStringLiteral("%1: %2").arg(m.line).arg(m.text);
    return out;
}

QStringList options(const Question& q) {
    return {q.otvet[0], q.otvet[1], q.otvet[2], q.otvet[3]};
}

// The refusals without their lines: the same question refused in the same words.
QStringList reasons(const Result& r) {
    QStringList out;
    for (const Message& m : r.refusals)
        out << m.text;
    return out;
}

} // namespace

class TestExchangeExports : public QObject {
    Q_OBJECT

private slots:
    void moodleExportKeepsTheTextsAndSaysWhatItDrops() {
        Result r;
        moodlexml::read(fixture("moodle-export.xml"), r);
        QCOMPARE(r.questions.size(), 2);
        const Question& rings = r.questions[0];
        QCOMPARE(rings.vopros, QStringLiteral("Какая планета известна своими кольцами?"));
        QCOMPARE(options(rings), (QStringList{"Марс", "Сатурн", "Нептун", "Земля"}));
        QCOMPARE(rings.prOtvet.toInt(), 2);
        QVERIFY(rings.graph.isEmpty());
        const Question& city = r.questions[1];
        QCOMPARE(
            city.vopros,
            QStringLiteral("Послушайте и ответьте: где находится город?\nСм. справку и статью."));
        QCOMPARE(options(city), (QStringList{"Ницца <юг>", "Париж", "2", "Лион <восток>"}));
        QCOMPARE(city.prOtvet.toInt(), 1);
        QVERIFY(!city.graph.isEmpty()); // the picture embedded in the text
        QCOMPARE(
            messages(r.notes),
            (QStringList{"11: в варианте ответа №1 рисунок не перенесён, взят только текст",
                         "11: в варианте ответа №2 рисунок не перенесён, взят только текст",
                         "11: в варианте ответа №3 рисунок не перенесён, взят только текст",
                         "11: в варианте ответа №4 рисунок не перенесён, взят только текст",
                         "60: ссылка на «spravka.pdf» не перенесена, остался только её текст",
                         "60: ссылка на «https://example.org/wiki/Ницца» не перенесена, остался "
                         "только её текст",
                         "60: звук или видео «vopros.mp3» не перенесены"}));
        QCOMPARE(messages(r.refusals),
                 (QStringList{"108: вариант ответа №1 — только рисунок, без текста: рисунки в "
                              "вариантах не переносятся",
                              "154: вопрос с несколькими правильными ответами не поддерживается",
                              "199: тип вопроса «верно/неверно» не поддерживается",
                              "215: частично верные ответы не поддерживаются"}));
    }

    void giftExportGivesTheSameQuestionsAndReasons() {
        Result xml, gift;
        moodlexml::read(fixture("moodle-export.xml"), xml);
        gift::read(fixture("moodle-export.gift"), gift);
        QCOMPARE(gift.questions.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(options(gift.questions[i]), options(xml.questions[i]));
            QCOMPARE(gift.questions[i].prOtvet, xml.questions[i].prOtvet);
        }
        QCOMPARE(gift.questions[1].vopros, QStringLiteral("Где находится город? См. статью."));
        QCOMPARE(reasons(gift), reasons(xml));
        QCOMPARE(messages(gift.notes),
                 (QStringList{
                     "4: в варианте ответа №1 рисунок не перенесён, взят только текст",
                     "4: в варианте ответа №2 рисунок не перенесён, взят только текст",
                     "4: в варианте ответа №3 рисунок не перенесён, взят только текст",
                     "11: ссылка на «https://example.org/wiki» не перенесена, остался только её "
                     "текст"}));
    }

    // A picture in the question text that is no file of the export is named too.
    void pictureWithoutItsFileIsNoted() {
        Result r;
        moodlexml::read("<quiz><question type=\"multichoice\"><questiontext format=\"html\"><text>"
                        "&lt;img src=\"@@PLUGINFILE@@/%D0%BC%D0%B0%D1%80%D1%81.png\"&gt;&lt;img "
                        "src=\"http://x/y.png\"&gt;Что это?</text></questiontext>"
                        "<answer fraction=\"100\"><text>a</text></answer><answer><text>b</text>"
                        "</answer><answer><text>c</text></answer><answer><text>d</text></answer>"
                        "</question></quiz>",
                        r);
        QCOMPARE(r.taken, 1);
        QCOMPARE(messages(r.notes),
                 (QStringList{"1: рисунок «марс.png» не перенесён: его файла нет в выгрузке",
                              "1: рисунок по адресу «http://x/y.png» не перенесён"}));
    }

    void aikenLabelsWithoutBlank() {
        Result r;
        aiken::read("Какая планета красная?\nA)Марс\nB)Венера\nC)Земля\nD)Сатурн\nANSWER: A\n\n"
                    "Кто написал «Онегина»?\nA.Пушкин\nB.Лермонтов\nC.Гоголь\nD.Толстой\n"
                    "ANSWER: A\n",
                    r);
        QCOMPARE(r.taken, 1);
        QCOMPARE(options(r.questions[0]), (QStringList{"Марс", "Венера", "Земля", "Сатурн"}));
        QCOMPARE(messages(r.refusals),
                 QStringList{"8: вариантов ответа 0, а нужно ровно четыре: строка «A.Пушкин» не "
                             "вариант, после «A.» нужен пробел"});
    }
};

QTEST_GUILESS_MAIN(TestExchangeExports)
#include "test_exchange_exports.moc"
