// Test runs on a server bank through the real test window against a real kviront-server on
// 127.0.0.1: the run looks exactly as on the same bank as a file, the server holds every answer
// once, no right answer reaches the window before its answer is recorded, the code is asked
// once and the class list's name confirmed, and the window keeps turning while the server never
// answers. (What the program must not trust is refused in test_class_client and
// test_server_bankfile, below the window.)
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
    for (int n = 1; n <= 5; ++n) {
        bankfile::Question q = fixture::question(n);
        if (n == 2)
            q.vopros += QStringLiteral("\nВторая строка вопроса");
        if (n == 3)
            q.graph = encodeBitmap(fixture::picture(40, 30, qRgb(10, 200, 30)));
        questions << q;
    }
    return questions;
}

// A code for each case, so that no case meets another's run.
const QStringList classList{QStringLiteral("Иванов Иван"),  QStringLiteral("Петрова Анна"),
                            QStringLiteral("Сидоров Пётр"), QStringLiteral("Кузнецова Ольга"),
                            QStringLiteral("Смирнов Олег"), QStringLiteral("Попова Вера"),
                            QStringLiteral("Лебедев Антон")};

// What one run showed and said.
struct Taken {
    QStringList shown; // question text and picture size, in the order shown
    QStringList notices;
    QStringList errors;
    QByteArray protocol;
};

void chooseSeconds(QCheckBox* box) {
    uozKontrol->N3->trigger();
    if (!box->isChecked())
        QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
}

} // namespace

class TestServerRun : public ServerWindowTest {
    Q_OBJECT

    // Option clicked per question shown, 0 for letting the time run out; `code` empty for the
    // file bank.
    Taken takeRun(const QString& bank, const QString& code, const QList<int>& clicks) {
        Taken t;
        ModalWatcher watcher;
        if (code.isEmpty())
            openBank(bank);
        else
            openServerBank(bank, code);
        for (int click : clicks) {
            const QSize picture = uozKontrol->DBImage1->picture().size();
            t.shown << uozKontrol->DBMemo1->shownText() +
                           QStringLiteral(" [%1x%2]").arg(picture.width()).arg(picture.height());
            // The right answer is not in the window before the answer is recorded.
            if (!code.isEmpty() && uozKontrol->PrOtvet->text() != QString())
                t.errors << QStringLiteral("PrOtvet before the answer: ") +
                                uozKontrol->PrOtvet->text();
            if (click == 0)
                tick(uozKontrol->Timer3, uozKontrol->Edit4->text().toInt());
            else
                clickAnswer(click);
            settle();
        }
        tick(uozKontrol->Timer1);
        t.notices = watcher.notices;
        t.errors += watcher.errors;
        const QStringList files = protocolFiles();
        if (files.size() == 1) {
            t.protocol = readFile(files[0]);
            QFile::remove(files[0]);
        }
        return t;
    }

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

        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        tick(uozKontrol->Timer2);
        // Another name typed and another time chosen: the class list's name and the sitting's
        // time are the run's.
        signIn(QStringLiteral("Ваня"));
        chooseSeconds(uozKontrol_Time->CheckBox1); // 30
        Taken onServer;
        {
            ModalWatcher lockSeen;
            dialogs::queueFileAnswer(m_server->bankFile());
            traineecode::queueAnswer(m_server->namedCodes()[0]);
            dialogs::queueConfirm(true);
            uozKontrol->N8->trigger();
            settle();
            QCOMPARE(uozKontrol->Edit4->text(), QStringLiteral("45"));
            QVERIFY(uozKontrol_Time->CheckBox2->isChecked());
            QVERIFY(!uozKontrol_Time->CheckBox1->isEnabled());
            QVERIFY(dialogs::lastConfirmText().contains(classList[0]));
            uozKontrol->N9->trigger(); // this run only looked
            for (const QString& f : protocolFiles())
                QFile::remove(f);
        }
        QTRY_COMPARE_WITH_TIMEOUT(serverEnds(*m_server, classList[0]), QStringLiteral("true false"),
                                  30000);
        QVERIFY(uozKontrol_Time->CheckBox1->isChecked()); // the choice it had, back
        QVERIFY(uozKontrol_Time->CheckBox1->isEnabled());
        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        tick(uozKontrol->Timer2);
        signIn(QStringLiteral("Петя"));
        chooseSeconds(uozKontrol_Time->CheckBox1);
        onServer = takeRun(m_server->bankFile(), m_server->namedCodes()[1], clicks);

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
    // Russian layout's look-alike letters, says why a text is no code, shows the class list's
    // name for the trainee to confirm, and a refusal or a "no" leaves the window ready for
    // another bank.
    void theCodeIsAskedOnceAndTheNameConfirmed_data() {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("signedIn");
        QTest::addColumn<QString>("said");  // a notice or an error box, "" for none
        QTest::addColumn<QString>("runOf"); // whose run it became, "" for none
        const QString code = m_server->namedCodes()[2];
        QString lookAlike = classapi::groupedCode(code.toStdString()).c_str();
        lookAlike = lookAlike.toLower();
        lookAlike.replace(QLatin1Char('k'), QChar(u'к')).replace(QLatin1Char('m'), QChar(u'м'));
        QTest::newRow("lower case, dashes, Cyrillic look-alikes")
            << QStringList{lookAlike} << true << QStringLiteral("Ученик") << QString()
            << classList[2];
        QTest::newRow("a letter no code has, then the code")
            << QStringList{QStringLiteral("O") + m_server->namedCodes()[3].mid(1),
                           m_server->namedCodes()[3]}
            << true << QStringLiteral("Ученик") << QStringLiteral("набран неверно") << classList[3];
        QTest::newRow("cancelled")
            << QStringList{} << true << QStringLiteral("Ученик") << QString() << QString();
        QTest::newRow("not this trainee") << QStringList{m_server->namedCodes()[3]} << false
                                          << QStringLiteral("Ученик") << QString() << QString();
        QTest::newRow("a code of no sitting")
            << QStringList{QStringLiteral("2222-3333-44")} << true << QStringLiteral("Ученик")
            << QStringLiteral("кода нет в этом тестировании") << QString();
        QTest::newRow("an unnamed code takes the name signed in")
            << QStringList{m_server->unnamedCodes()[2]} << true << QStringLiteral("Гость Один")
            << QString() << QStringLiteral("Гость Один");
    }
    void theCodeIsAskedOnceAndTheNameConfirmed() {
        QFETCH(QStringList, typed);
        QFETCH(bool, confirm);
        QFETCH(QString, signedIn);
        QFETCH(QString, said);
        QFETCH(QString, runOf);
        ModalWatcher watcher;
        signIn(signedIn);
        dialogs::queueFileAnswer(m_server->bankFile());
        for (const QString& t : typed)
            traineecode::queueAnswer(t);
        if (typed.isEmpty())
            traineecode::queueCancel();
        else
            dialogs::queueConfirm(confirm);
        uozKontrol->N8->trigger();
        settle();
        QCOMPARE(traineecode::pendingAnswers(), 0);
        QCOMPARE(dialogs::pendingAnswers(),
                 said == QStringLiteral("кода нет в этом тестировании") ? 1 : 0);
        dialogs::clearAnswers();
        const QStringList heard = watcher.notices + watcher.errors;
        QCOMPARE(heard.size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty())
            QVERIFY2(heard[0].contains(said), qPrintable(heard[0]));
        if (runOf.isEmpty()) {
            QCOMPARE(menuState(), ready); // as after a cancelled dialog: pick again
            return;
        }
        QCOMPARE(menuState(), running);
        QVERIFY(dialogs::lastConfirmText().contains(runOf));
        uozKontrol->N9->trigger();
        QCOMPARE(protocolFiles().size(), 1);
        QVERIFY(readText(protocolFiles()[0]).startsWith(runOf + QStringLiteral("  7-12-2026")));
        QVERIFY(protocolFiles()[0].startsWith(QStringLiteral("_") + runOf));
        QTRY_COMPARE_WITH_TIMEOUT(serverEnds(*m_server, runOf), QStringLiteral("true false"),
                                  30000);
    }

    // The code window itself: typed as on a Russian keyboard and confirmed with Enter.
    void theCodeWindowTakesWhatIsTypedAndEnter() {
        const QString code = m_server->unnamedCodes()[0];
        QString typed = QString::fromStdString(classapi::groupedCode(code.toStdString()));
        typed.replace(QLatin1Char('K'), QChar(u'К')).replace(QLatin1Char('M'), QChar(u'М'));
        ModalWatcher watcher;
        signIn(QStringLiteral("Гость Три"));
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = uozKontrol->CodeForm->isModalShowing();
            typeText(uozKontrol->CodeForm->Edit1, typed);
            QTest::keyClick(uozKontrol->CodeForm->Edit1, Qt::Key_Return);
        });
        dialogs::queueFileAnswer(m_server->bankFile());
        dialogs::queueConfirm(true);
        uozKontrol->N8->trigger();
        settle();
        QVERIFY(shown);
        QVERIFY(!uozKontrol->CodeForm->isVisible());
        QCOMPARE(menuState(), running);
        QVERIFY(dialogs::lastConfirmText().contains(QStringLiteral("Гость Три")));
        QCOMPARE(watcher.total(), 0);
        uozKontrol->N9->trigger();
    }

    // While the server accepts and never answers, the window's loop keeps turning: a timer keeps
    // firing within 100 ms, the window repaints, the status line says what it waits for and
    // "Закрыть БД" ends the run; the answer still reaches the server, once, before the end.
    void theWindowKeepsTurningWhileTheServerNeverAnswers() {
        ModalWatcher watcher;
        signIn(QStringLiteral("Гость Два"));
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
        QVERIFY(protocolFiles()[0].startsWith(QStringLiteral("_Гость Два")));
        // The call that got no reply is given up, its connection closed, and sent again.
        QCOMPARE(DelaySeam::fireAll(Delay::Deadline), 1);
        frozen.thaw();
        passNextPause();
        QTRY_VERIFY_WITH_TIMEOUT(allSent(), 30000);
        QCOMPARE(serverAnswers(*m_server, QStringLiteral("Гость Два")), QStringLiteral("1:2"));
        QCOMPARE(serverEnds(*m_server, QStringLiteral("Гость Два")), QStringLiteral("true false"));
        QCOMPARE(watcher.errors, QStringList());
    }
};

QTEST_MAIN(TestServerRun)
#include "test_server_run.moc"
