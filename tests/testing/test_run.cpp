// A test window run end to end: sign-in, bank, answers through the answer fields, result.
#include "kviront.h"
#include "modal_watcher.h"
#include "run_fixture.h"
#include "startup.h"
#include "ui_seams.h"

#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

using namespace fx;

namespace {
QString status(int n, int count) {
    return QStringLiteral("Вы отвечаете на вопрос номер: %1.   Всего вопросов в тесте:%2")
        .arg(n)
        .arg(count);
}
} // namespace

class TestRun : public QObject {
    Q_OBJECT
    std::unique_ptr<RunScope> m_dir;

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() { m_dir = std::make_unique<RunScope>(); }
    void cleanup() { m_dir.reset(); }

    void wholeRunOfFiveRecords() {
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("five.mdb")),
                                      {question(1, 1), question(2, QStringLiteral("02")),
                                       question(3, 3), question(4, 4), question(5, 1)});
        QCOMPARE(menuState(), idle);
        QVERIFY(answerFieldsDisabled());
        signIn(QStringLiteral("Сидоров"));
        QVERIFY(uozKontrol->isVisible());
        QCOMPARE(menuState(), ready);
        openBank(bank);
        QCOMPARE(menuState(), running);
        QCOMPARE(runState().questionCount, 5);
        QCOMPARE(dialogs::lastFilter(), QStringLiteral("Файлы базы данных|*.mdb"));

        // Record: the option clicked, and the notice it brings.
        const QList<int> order{1, 4, 3, 2, 5};
        const QList<int> clicks{1, 2, 3, 2, 4};
        const QStringList verdicts{rightNotice, wrongNotice(QStringLiteral("4")), rightNotice,
                                   rightNotice, wrongNotice(QStringLiteral("1"))};
        ModalWatcher watcher;
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос %1").arg(order[i]));
            QCOMPARE(option(2)->shownText(), QStringLiteral("Ответ %1.2").arg(order[i]));
            QCOMPARE(uozKontrol->Edit1->text(), status(i + 1, 5));
            QVERIFY(answerFieldsEnabled());
            QVERIFY(uozKontrol->Timer3->enabled());
            QCOMPARE(menuState(), running);
            clickAnswer(clicks[i]);
            QCOMPARE(watcher.notices.value(i), verdicts[i]);
        }
        const QString result = QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш "
                                              "результат: правильных ответов 3. Неправильных "
                                              "ответов 2. Всего вопросов 5");
        QCOMPARE(watcher.notices.size(), 6);
        QCOMPARE(watcher.notices.last(), result);
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(runState().rightCount + runState().wrongCount, 5.0);
        QCOMPARE(runState().displayNumber, 5);

        // Result shown: the last record stays, answerable, until the end-of-run check.
        QCOMPARE(runState().finishedFlag, 1.0);
        QCOMPARE(menuState(), QStringLiteral("-N8 +N9 -N3 -N4"));
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 5"));
        QCOMPARE(uozKontrol->Edit1->text(), status(5, 5));
        QVERIFY(answerFieldsEnabled());

        tick(uozKontrol->Timer1);
        QCOMPARE(menuState(), idle);
        QVERIFY(answerFieldsDisabled());
        QVERIFY(!DataModule1->ADOTableControl->active());
        QVERIFY(!uozKontrol->Timer1->enabled());
        QVERIFY(!uozKontrol->Timer3->enabled());
        QCOMPARE(uozKontrol->Edit1->text(), QString());
        QCOMPARE(protocolFiles(), QStringList{QStringLiteral("Сидоров  7-12-2026  9-05-03.usr")});
        QVERIFY(readFile(protocolFiles().constFirst()).contains(fx::cp1251Lines({result})));
    }

    void clickOnADisabledFieldDoesNothing() {
        const QString bank =
            makeBank(m_dir->filePath(QStringLiteral("two.mdb")), {question(1, 1), question(2, 2)});
        signIn(QStringLiteral("А"));
        openBank(bank);
        ModalWatcher watcher;
        clickAnswer(1);
        QVERIFY(answerFieldsEnabled());
        // Between the lock and the next tick nothing is answerable: the first click counts once.
        uozKontrol->LockQuestion();
        clickAnswer(1);
        QCOMPARE(watcher.notices, QStringList{rightNotice});
        QCOMPARE(runState().rightCount, 1.0);
    }

    void closeBankDuringARunReturnsToIdle() {
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("three.mdb")),
                                      {question(1, 1), question(2, 2), question(3, 3)});
        signIn(QStringLiteral("Б"));
        openBank(bank);
        ModalWatcher watcher;
        clickAnswer(1);
        uozKontrol->N9->trigger();
        QCOMPARE(menuState(), idle);
        QVERIFY(answerFieldsDisabled());
        QCOMPARE(runState().questionCount, 0);
        QCOMPARE(protocolFiles(), QStringList{QStringLiteral("_Б  7-12-2026  9-05-03.usr")});
        signIn(QStringLiteral("Б"));
        QCOMPARE(menuState(), ready);
        openBank(bank);
        QCOMPARE(menuState(), running);
        QCOMPARE(watcher.errors, QStringList());
    }

    void rightAnswerThatIsNoNumberStopsTheAnswer() {
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("bad.mdb")),
                                      {question(1, QStringLiteral("x")), question(2, 2)});
        signIn(QStringLiteral("В"));
        openBank(bank);
        ModalWatcher watcher;
        clickAnswer(2);
        QCOMPARE(watcher.errors,
                 QStringList{QStringLiteral("'x' is not a valid floating point value.")});
        QCOMPARE(watcher.notices, QStringList());
        QVERIFY(answerFieldsDisabled());
        QVERIFY(!uozKontrol->Timer3->enabled());
        QCOMPARE(runState().rightCount + runState().wrongCount, 0.0);
        QCOMPARE(menuState(), running);
        QVERIFY(uozKontrol->Memo1->toPlainText().contains(QStringLiteral("Ваш ответ № 2")));
        uozKontrol->N9->trigger();
        QCOMPARE(menuState(), idle);
        QCOMPARE(protocolFiles().size(), 1);
        QVERIFY(protocolFiles().constFirst().startsWith(QLatin1Char('_')));
    }

    void fractionalRightAnswerIsNeverRight() {
        // Written with the system's decimal separator, as a teacher's bank holds it; under a
        // Russian locale the C library's conversions read "2,5" as 2.
        const QString point = formats::settings().decimalSeparator;
        const QString bank = makeBank(
            m_dir->filePath(QStringLiteral("frac.mdb")),
            {question(1, "2" + point + "5"), question(2, "3" + point + "9"), question(3, 4)});
        signIn(QStringLiteral("Ё"));
        openBank(bank);
        ModalWatcher watcher;
        clickAnswer(2);
        clickAnswer(3);
        clickAnswer(4);
        QCOMPARE(watcher.notices.mid(0, 3),
                 (QStringList{wrongNotice("2" + point + "5"), wrongNotice("3" + point + "9"),
                              rightNotice}));
        QCOMPARE(runState().rightCount, 1.0);
    }

    void longRunsOfTextWrapAnywhere() {
        // Breaking a long run at word boundaries takes minutes; a question after it wraps at
        // word boundaries again and is shown in full.
        QList<Question> qs{question(1, 1), question(2, 2), question(3, 3)};
        qs[0].vopros = QString(5000, QLatin1Char('x'));
        qs[0].otvet[1] = QString(3000, QLatin1Char('y'));
        qs[1].otvet[1] = QString(3000, QLatin1Char('z'));
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("runs.mdb")), qs);
        signIn(QStringLiteral("Й"));
        openBank(bank);
        QCoreApplication::processEvents();
        QCOMPARE(uozKontrol->DBMemo1->wordWrapMode(), QTextOption::WrapAnywhere);
        QCOMPARE(option(1)->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
        QCOMPARE(option(2)->wordWrapMode(), QTextOption::WrapAnywhere);
        QCOMPARE(uozKontrol->DBMemo1->document()->toPlainText(), qs[0].vopros);
        ModalWatcher watcher;
        for (int record : {2, 3}) {
            clickAnswer(1);
            QCoreApplication::processEvents();
            QCOMPARE(uozKontrol->DBMemo1->wordWrapMode(),
                     QTextOption::WrapAtWordBoundaryOrAnywhere);
            QCOMPARE(uozKontrol->DBMemo1->document()->toPlainText(), qs[record - 1].vopros);
            QCOMPARE(option(2)->document()->toPlainText(), qs[record - 1].otvet[1]);
        }
        QCOMPARE(option(2)->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    }

    void banksARunCannotTake_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("notice");
        QTest::newRow("empty") << 0
                               << QStringLiteral("В выбранной базе данных нет ни одного вопроса. "
                                                 "Тест не начат. Выберите другую базу данных.");
        QTest::newRow("10001") << 10001
                               << QStringLiteral("В выбранной базе данных больше 10000 вопросов, "
                                                 "а тест допускает не более 10000. Тест не "
                                                 "начат. Выберите другую базу данных.");
    }
    void banksARunCannotTake() {
        QFETCH(int, count);
        QFETCH(QString, notice);
        QList<Question> questions;
        for (int i = 1; i <= count; ++i)
            questions << question(i, 1);
        const QString refused = makeBank(m_dir->filePath(QStringLiteral("refused.mdb")), questions);
        const QString good =
            makeBank(m_dir->filePath(QStringLiteral("good.mdb")), {question(1, 1), question(2, 2)});
        signIn(QStringLiteral("Г"));
        ModalWatcher watcher;
        openBank(refused);
        QCOMPARE(watcher.notices, QStringList{notice});
        QCOMPARE(menuState(), ready);
        QVERIFY(answerFieldsDisabled());
        QVERIFY(!uozKontrol->Timer3->enabled());
        QVERIFY(!DataModule1->ADOTableControl->active());
        QCOMPARE(runState().runStartedFlag, 0.0);
        uozKontrol->closeForm(); // no run started: no protocol
        QCOMPARE(protocolFiles(), QStringList());
        uozKontrol->show();
        signIn(QStringLiteral("Г"));
        openBank(good);
        QCOMPARE(menuState(), running);
        QCOMPARE(runState().questionCount, 2);
        QCOMPARE(watcher.errors, QStringList());
    }

    void largestBankRuns() {
        QList<Question> questions;
        for (int i = 1; i <= 10000; ++i)
            questions << question(i, 1);
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("max.mdb")), questions);
        signIn(QStringLiteral("Д"));
        openBank(bank);
        QCOMPARE(runState().questionCount, 10000);
        QCOMPARE(menuState(), running);
        QCOMPARE(uozKontrol->Edit1->text(), status(1, 10000));
    }

    void oneRecordBankEndsAfterItsAnswer() {
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("one.mdb")), {question(1, 1)});
        signIn(QStringLiteral("Е"));
        openBank(bank);
        QCOMPARE(uozKontrol->Edit1->text(), status(1, 1));
        ModalWatcher watcher;
        clickAnswer(3);
        QCOMPARE(watcher.notices,
                 (QStringList{wrongNotice(QStringLiteral("1")),
                              QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш "
                                             "результат: правильных ответов 0. Неправильных "
                                             "ответов 1. Всего вопросов 1")}));
        QCOMPARE(runState().finishedFlag, 1.0);
        tick(uozKontrol->Timer1);
        QCOMPARE(menuState(), idle);
        const QString text = readText(protocolFiles().value(0));
        QCOMPARE(text.count(QStringLiteral("Вопрос № ")), 1);
    }

    void exitDuringARunSavesAndClosesTheModalShowing() {
        // As the main window opens it: modally, through the sign-in that hides and re-shows it.
        const QString bank =
            makeBank(m_dir->filePath(QStringLiteral("m.mdb")), {question(1, 1), question(2, 2)});
        uozKontrol->closeForm();
        bool signedIn = false;
        QTimer::singleShot(0, [&] {
            signIn(QStringLiteral("З"));
            signedIn = uozKontrol->isVisible() && uozKontrol->isModalShowing();
            openBank(bank);
            uozKontrol->N5->trigger();
        });
        Form1->N5->trigger();
        QVERIFY(signedIn);
        QVERIFY(!uozKontrol->isVisible());
        QVERIFY(!uozKontrol->isModalShowing());
        QCOMPARE(menuState(), idle);
        QCOMPARE(protocolFiles(), QStringList{QStringLiteral("_З  7-12-2026  9-05-03.usr")});
        uozKontrol->show();
    }

    void cancelledDialogLeavesTheWindowReady() {
        signIn(QStringLiteral("Ж"));
        dialogs::queueFileCancel();
        uozKontrol->N8->trigger();
        QCOMPARE(menuState(), ready);
        QCOMPARE(uozKontrol->Memo1->toPlainText(), QString());
        QCOMPARE(runState().runStartedFlag, 0.0);
    }
};

QTEST_MAIN(TestRun)
#include "test_run.moc"
