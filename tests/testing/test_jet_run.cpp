// A whole test run on an old-format (Jet 4) bank: the order, the verdicts, the pictures and
// the protocol, and the bank file left exactly as it was.
#include "modal_watcher.h"
#include "run_fixture.h"
#include "startup.h"

#include <QCryptographicHash>

using namespace fx;

namespace {
QString bankPath(const QString& name) {
    return QStringLiteral(KV_JET_FIXTURES "/") + name;
}
const QString right = QStringLiteral("Верный ответ");
QString wrong(const QString& stored) {
    return QStringLiteral("Неверный ответ. Верный ответ номер   ") + stored;
}
} // namespace

class TestJetRun : public QObject {
    Q_OBJECT
    std::unique_ptr<WorkFolder> m_dir;

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() {
        m_dir = std::make_unique<WorkFolder>();
        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        tick(uozKontrol->Timer2);
    }
    void cleanup() {
        closeTestWindow();
        m_dir.reset();
    }

    void wholeRunOnAnOldFormatBank() {
        const QString bank = bankPath(QStringLiteral("bank5_jet4.mdb"));
        const QByteArray before = readFile(bank);
        signIn(QStringLiteral("Петров"));
        openBank(bank);
        QCOMPARE(menuState(), running);
        QCOMPARE(runState().questionCount, 5);

        const QList<int> order{1, 4, 3, 2, 5};
        const QStringList questions{
            QStringLiteral("Какой город является столицей России?"),
            QStringLiteral("Сколько будет 12 × 12?\nВыберите один правильный ответ."),
            QStringLiteral("Какого цвета левая верхняя четверть рисунка?"),
            QStringLiteral("Какого цвета верхняя полоса рисунка?"),
            QStringLiteral("Как называется столица Франции? «Город огней»")};
        const QList<QSize> pictures{QSize(0, 0), QSize(0, 0), QSize(40, 30), QSize(30, 20),
                                    QSize(0, 0)};
        const QList<int> clicks{1, 2, 3, 2, 4};
        const QStringList verdicts{right, wrong(QStringLiteral("3")), wrong(QStringLiteral("1")),
                                   right, wrong(QStringLiteral("01"))};
        ModalWatcher watcher;
        for (int i = 0; i < 5; ++i) {
            const int record = order[i];
            QCOMPARE(uozKontrol->DBMemo1->shownText(), questions[record - 1]);
            QCOMPARE(uozKontrol->DBImage1->picture().size(), pictures[record - 1]);
            QVERIFY(answerFieldsEnabled());
            clickAnswer(clicks[i]);
            QCOMPARE(watcher.notices.value(i), verdicts[i]);
        }
        const QString result = QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш "
                                              "результат: правильных ответов 2. Неправильных "
                                              "ответов 3. Всего вопросов 5");
        QCOMPARE(watcher.notices.last(), result);
        QCOMPARE(watcher.errors, QStringList());
        tick(uozKontrol->Timer1);
        QCOMPARE(menuState(), idle);

        QCOMPARE(protocolFiles(), QStringList{QStringLiteral("Петров  7-12-2026  9-05-03.usr")});
        const QByteArray protocol = readFile(protocolFiles().constFirst());
        QVERIFY(protocol.contains(
            cp1251Lines({QStringLiteral("Содержание вопроса:"), questions[3],
                         QStringLiteral("1. Белого"), QStringLiteral("2. Чёрного"),
                         QStringLiteral("3. Пурпурного"), QStringLiteral("4. Голубого"),
                         QStringLiteral("Ваш ответ № 2"), QStringLiteral("Правильный ответ:3")})));
        // The stored line break of record 2 stays a line break.
        QVERIFY(protocol.contains(cp1251Lines({QStringLiteral("Сколько будет 12 ? 12?"),
                                               QStringLiteral("Выберите один правильный ответ."),
                                               QStringLiteral("1. 124")})));
        QVERIFY(protocol.contains(cp1251Lines({result})));
        QCOMPARE(readFile(bank), before); // the bank is never written
    }
};

QTEST_MAIN(TestJetRun)
#include "test_jet_run.moc"
