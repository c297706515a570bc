// Test runs on a server bank through the real test window against a real kviront-server on
// 127.0.0.1: the run is the file bank's, every answer reaches the server once, no right answer
// is in the window before its answer is recorded, the code is asked once and the class list's
// name confirmed, and the window keeps turning while the server never answers. (What the
// program must not trust is refused below the window: test_class_client, test_server_bankfile.)
#include "bankfixture.h"
#include "classapi.h"
#include "modal_watcher.h"
#include "run_fixture.h"
#include "run_texts.h"
#include "server_window.h"

#include <QElapsedTimer>
#include <QTimer>

using namespace fx;

namespace {

QVector<bankfile::Question> bankQuestions() {
    QVector<bankfile::Question> questions;
    for (int n = 1; n <= 5; ++n)
        questions << fixture::question(n);
    questions[1].vopros += QStringLiteral("\nВторая строка вопроса");
    questions[2].graph = encodeBitmap(fixture::picture(40, 30, qRgb(10, 200, 30)));
    return questions;
}

// A code for each case, so that no case meets another's run.
const QStringList classList{"Иванов Иван",  "Петрова Анна", "Сидоров Пётр", "Кузнецова Ольга",
                            "Смирнов Олег", "Попова Вера",  "Лебедев Антон"};

void chooseSeconds(QCheckBox* box) {
    uozKontrol->N3->trigger();
    if (!box->isChecked())
        QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
}

} // namespace

class TestServerRun : public ServerWindowTest {
    Q_OBJECT

private slots:
    void initTestCase() {
        ClassServer::Options o;
        o.questions = bankQuestions();
        o.trainees = classList;
        o.unnamedCodes = 3;
        o.seconds = 45;
        startClass(o);
    }
    void cleanupTestCase() { endClass(); }
    void init() { m_dir = std::make_unique<RunScope>(); }
    void cleanup() {
        m_dir.reset();
        QVERIFY(m_server->start(0)); // a test that stopped it has it back
        QTRY_VERIFY_WITH_TIMEOUT(allSent(), 30000);
    }

    void wholeRunIsTheSameAsOnTheFileAndEveryAnswerReachesTheServerOnce() {
        const QList<int> clicks{2, 1, 0, 4, 3}; // records 1, 4, 3, 2, 5
        // Signed in as the class list names the trainee whose code the server run takes.
        signIn(classList[1]);
        chooseSeconds(uozKontrol_Time->CheckBox2); // 45, the sitting's time
        const Taken onFile = takeRun(m_file, {}, clicks);
        QCOMPARE(onFile.errors, QStringList());
        QCOMPARE(onFile.notices.size(), 6);

        // Another name typed and another time chosen: the class list's name and the sitting's
        // time are the run's.
        freshWindow();
        signIn(QStringLiteral("Петя"));
        chooseSeconds(uozKontrol_Time->CheckBox1);
        const Taken onServer = takeRun(m_server->bankFile(), m_server->namedCodes()[1], clicks);
        QCOMPARE(onServer.errors, QStringList());
        QCOMPARE(onServer.shown, onFile.shown);
        QCOMPARE(onServer.notices, onFile.notices);
        QVERIFY(!onServer.protocol.isEmpty());
        QCOMPARE(onServer.protocol, onFile.protocol);
        QCOMPARE(serverAnswers(*m_server, classList[1]), QStringLiteral("1:2 4:1 3:0 2:4 5:3"));
        QTRY_VERIFY_WITH_TIMEOUT(allSent(), 30000); // the end goes after the protocol is saved
        QCOMPARE(serverEnds(*m_server, classList[1]), QStringLiteral("true true"));
        QCOMPARE(QDir(classjournal::defaultFolder()).entryList({QStringLiteral("refused")}),
                 QStringList());
    }

    // "Открыть БД" on a server bank file asks for the code once, in any case and with the
    // Russian layout's look-alike letters, typed into the code window with Enter or handed in,
    // says why a text is no code, shows the class list's name for the trainee to confirm and
    // holds the time choice at the sitting's while the run lasts; a refusal or a "no" leaves the
    // window ready for another bank.
    void theCodeIsAskedOnceAndTheNameConfirmed_data() {
        QTest::addColumn<QStringList>("typed"); // handed to the code window, in turn
        QTest::addColumn<bool>("keyboard");     // typed into the window's field and Enter
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("signedIn");
        QTest::addColumn<QString>("said");  // a notice or an error box, "" for none
        QTest::addColumn<QString>("runOf"); // whose run it became, "" for none
        const auto lookAlike = [](const QString& code, bool lower) {
            QString s = QString::fromStdString(classapi::groupedCode(code.toStdString()));
            if (lower)
                return s.toLower().replace(QLatin1Char('k'), u'к').replace(QLatin1Char('m'), u'м');
            return s.replace(QLatin1Char('K'), u'К').replace(QLatin1Char('M'), u'М');
        };
        const QStringList named = m_server->namedCodes(), unnamed = m_server->unnamedCodes();
        const QString pupil = QStringLiteral("Ученик");
        QTest::newRow("lower case, dashes, Cyrillic look-alikes")
            << QStringList{lookAlike(named[2], true)} << false << true << pupil << QString()
            << classList[2];
        QTest::newRow("typed on a Russian keyboard, Enter")
            << QStringList{lookAlike(unnamed[0], false)} << true << true
            << QStringLiteral("Гость Три") << QString() << QStringLiteral("Гость Три");
        QTest::newRow("a letter no code has, then the code")
            << QStringList{QStringLiteral("O") + named[3].mid(1), named[3]} << false << true
            << pupil << QStringLiteral("набран неверно") << classList[3];
        QTest::newRow("cancelled")
            << QStringList{} << false << true << pupil << QString() << QString();
        QTest::newRow("not this trainee")
            << QStringList{named[3]} << false << false << pupil << QString() << QString();
        QTest::newRow("a code of no sitting")
            << QStringList{QStringLiteral("2222-3333-44")} << false << true << pupil
            << QStringLiteral("кода нет в этом тестировании") << QString();
        QTest::newRow("an unnamed code takes the name signed in")
            << QStringList{unnamed[2]} << false << true << QStringLiteral("Гость Один") << QString()
            << QStringLiteral("Гость Один");
    }
    void theCodeIsAskedOnceAndTheNameConfirmed() {
        QFETCH(QStringList, typed);
        QFETCH(bool, keyboard);
        QFETCH(bool, confirm);
        QFETCH(QString, signedIn);
        QFETCH(QString, said);
        QFETCH(QString, runOf);
        chooseSeconds(uozKontrol_Time->CheckBox1); // 30, not the sitting's 45
        ModalWatcher watcher;
        signIn(signedIn);
        bool shown = !keyboard;
        if (keyboard)
            QTimer::singleShot(0, [&] {
                shown = uozKontrol->CodeForm->isModalShowing();
                typeText(uozKontrol->CodeForm->Edit1, typed[0]);
                QTest::keyClick(uozKontrol->CodeForm->Edit1, Qt::Key_Return);
            });
        else
            for (const QString& t : typed)
                traineecode::queueAnswer(t);
        if (typed.isEmpty())
            traineecode::queueCancel();
        else
            dialogs::queueConfirm(confirm);
        dialogs::queueFileAnswer(m_server->bankFile());
        uozKontrol->N8->trigger();
        settle();
        QVERIFY(shown);
        QVERIFY(!uozKontrol->CodeForm->isVisible());
        QCOMPARE(traineecode::pendingAnswers(), 0);
        QCOMPARE(dialogs::pendingAnswers(),
                 said == QStringLiteral("кода нет в этом тестировании") ? 1 : 0);
        dialogs::clearAnswers();
        const QStringList heard = watcher.notices + watcher.errors;
        QCOMPARE(heard.size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty())
            QVERIFY2(heard[0].contains(said), qPrintable(heard[0]));
        if (!runOf.isEmpty()) {
            QCOMPARE(menuState(), running);
            QVERIFY(dialogs::lastConfirmText().contains(runOf));
            QCOMPARE(uozKontrol->Edit4->text(), QStringLiteral("45"));
            QVERIFY(uozKontrol_Time->CheckBox2->isChecked());
            QVERIFY(!uozKontrol_Time->CheckBox1->isEnabled());
            uozKontrol->N9->trigger();
            QCOMPARE(protocolFiles().size(), 1);
            QVERIFY(readText(protocolFiles()[0]).startsWith(runOf + QStringLiteral("  7-12-2026")));
            QVERIFY(protocolFiles()[0].startsWith(QStringLiteral("_") + runOf));
            QTRY_COMPARE_WITH_TIMEOUT(serverEnds(*m_server, runOf), QStringLiteral("true false"),
                                      30000);
        }
        QCOMPARE(menuState(), runOf.isEmpty() ? ready : idle); // refused: pick again
        QVERIFY(uozKontrol_Time->CheckBox1->isChecked());      // the choice it had, back
        QVERIFY(uozKontrol_Time->CheckBox1->isEnabled());
    }

    // While the server accepts and never answers, the window's loop keeps turning: a timer keeps
    // firing within 100 ms, the window repaints, the status line says what it waits for and
    // "Закрыть БД" ends the run; the answer still reaches the server, once, before the end.
    void theWindowKeepsTurningWhileTheServerNeverAnswers() {
        const QString trainee = QStringLiteral("Гость Два");
        ModalWatcher watcher;
        signIn(trainee);
        openServerBank(m_server->bankFile(), m_server->unnamedCodes()[1]);
        FrozenDaemon frozen(*m_server, 0);
        QVERIFY(frozen.ok());
        clickAnswer(2);
        QVERIFY(uozKontrol->waitsForServer());
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::serverBusy(false, true, QString()));
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        int ticks = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        connect(&probe, &QTimer::timeout, [&] {
            longest = qMax(longest, clock.elapsed() - last);
            last = clock.elapsed();
            ++ticks;
        });
        clock.start();
        probe.start(20);
        QTest::qWait(600);
        probe.stop();
        QVERIFY2(longest < 100, qPrintable(QString::number(longest)));
        QVERIFY(ticks >= 10);
        QVERIFY(!uozKontrol->grab().isNull());
        QVERIFY(uozKontrol->waitsForServer());
        QVERIFY(uozKontrol->N9->isEnabled());
        uozKontrol->N9->trigger();
        QCOMPARE(menuState(), idle);
        QCOMPARE(protocolFiles().size(), 1);
        QVERIFY(protocolFiles()[0].startsWith(QStringLiteral("_") + trainee));
        // The call that got no reply is given up, its connection closed, and sent again.
        QCOMPARE(DelaySeam::fireAll(Delay::Deadline), 1);
        frozen.thaw();
        passNextPause();
        QTRY_VERIFY_WITH_TIMEOUT(allSent(), 30000);
        QCOMPARE(serverAnswers(*m_server, trainee), QStringLiteral("1:2"));
        QCOMPARE(serverEnds(*m_server, trainee), QStringLiteral("true false"));
        QCOMPARE(watcher.errors, QStringList());
    }
};

QTEST_MAIN(TestServerRun)
#include "test_server_run.moc"
