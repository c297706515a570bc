// The protocol files a run leaves, and the timers that drive a run, with the clock and the
// countdown moved by the test.
#include "core_seams.h"
#include "modal_watcher.h"
#include "run_fixture.h"
#include "startup.h"
#include "ui_seams.h"

#include <QTemporaryDir>

using namespace fx;

namespace {
const QString name = QStringLiteral("Иванов Иван Иванович");

QStringList block(int record, int chosen, int right, const QString& used) {
    QStringList lines{separator(), QStringLiteral("Вопрос № %1").arg(record),
                      QStringLiteral("Содержание вопроса:"),
                      QStringLiteral("Вопрос %1").arg(record)};
    for (int k = 1; k <= 4; ++k)
        lines << QStringLiteral("%1. Ответ %2.%1").arg(k).arg(record);
    return lines << QStringLiteral("Ваш ответ № %1").arg(chosen)
                 << QStringLiteral("Правильный ответ:%1").arg(right)
                 << QStringLiteral("Вы отвечали на вопрос: %1 сек. из 35").arg(used) << QString();
}

QStringList header(const QString& time) {
    return {name + QStringLiteral("  7-12-2026  ") + time, QString(),
            QStringLiteral("Тест начат в ") + time, QString()};
}

QStringList footer(const QString& first, const QString& time) {
    return {first, separator(), QStringLiteral("Тест окончен в ") + time};
}

// Moves the frozen clock on and lets the window's clock read it.
void secondsPass(int seconds) {
    clock_::advance(seconds * 1000);
    tick(uozKontrol->Timer2);
}
} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
    std::unique_ptr<RunScope> m_dir;
    QString m_bank;

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() {
        m_dir = std::make_unique<RunScope>(2);
        m_bank =
            makeBank(m_dir->filePath(QStringLiteral("two.mdb")), {question(1, 3), question(2, 4)});
    }
    void cleanup() { m_dir.reset(); }

    void completedRunByteForByte() {
        signIn(name);
        openBank(m_bank);
        ModalWatcher watcher;
        for (int i = 0; i < 6; ++i)
            secondsPass(1), tick(uozKontrol->Timer3);
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("30"));
        clickAnswer(3);
        for (int i = 0; i < 34; ++i) {
            secondsPass(1);
            tick(uozKontrol->Timer3);
            QCOMPARE(uozKontrol->Edit3->text(), QString::number(35 - i));
        }
        QCOMPARE(watcher.notices.size(), 1);
        QVERIFY(uozKontrol->Timer3->enabled());
        QString shownAtTimeOut;
        watcher.onNotice = [&](const QString&) {
            if (shownAtTimeOut.isEmpty()) // the time-out notice, then the result
                shownAtTimeOut = uozKontrol->Edit3->text();
            return true;
        };
        secondsPass(1);
        tick(uozKontrol->Timer3); // shows 1, leaves 0: the question times out
        QCOMPARE(shownAtTimeOut, QStringLiteral("1"));
        // The last record is shown once more until the end-of-run check, with its allowance.
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("35"));
        const QString result = QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш "
                                              "результат: правильных ответов 1. Неправильных "
                                              "ответов 1. Всего вопросов 2");
        QCOMPARE(watcher.notices,
                 (QStringList{QStringLiteral("Верный ответ"),
                              QStringLiteral("Вы не успели ответить на вопрос!"), result}));
        secondsPass(1);
        tick(uozKontrol->Timer1);

        const QString file = name + QStringLiteral("  7-12-2026  9-05-45.usr");
        QCOMPARE(protocolFiles(), QStringList{file});
        const QStringList expected =
            header(QStringLiteral("9-05-03")) + block(1, 3, 3, QStringLiteral("5")) +
            block(2, 0, 4, QStringLiteral("34")) +
            QStringList{QStringLiteral("Вы не успели ответить на вопрос!"), QString()} +
            footer(result, QStringLiteral("9-05-45"));
        QCOMPARE(readFile(file), cp1251Lines(expected));
        QVERIFY(!readFile(file).startsWith("\xEF\xBB\xBF"));

        uozKontrol->closeForm(); // after a saved run closing writes nothing more
        QCOMPARE(protocolFiles(), QStringList{file});
        QCOMPARE(watcher.errors, QStringList());
    }

    void endOfRunCheckWaitsForTheResultNotice() {
        signIn(name);
        openBank(m_bank);
        ModalWatcher watcher;
        clickAnswer(3);
        bool checkedWhileUp = false;
        watcher.onNotice = [&](const QString& text) {
            if (text.startsWith(QStringLiteral("Проверка")) && !checkedWhileUp) {
                checkedWhileUp = true;
                TimerSeam::fire(uozKontrol->Timer1);
                return runState().finishedFlag == 0.0 && protocolFiles().isEmpty() &&
                       uozKontrol->N9->isEnabled();
            }
            return true;
        };
        clickAnswer(1);
        QVERIFY(checkedWhileUp);
        QCOMPARE(watcher.notices.size(), 3);
        QCOMPARE(protocolFiles(), QStringList());
        QCOMPARE(runState().finishedFlag, 1.0);
        tick(uozKontrol->Timer1); // the first tick after the notice closed finishes the run
        QCOMPARE(protocolFiles().size(), 1);
        QCOMPARE(menuState(), idle);
        QVERIFY(!uozKontrol->Timer1->enabled());
    }

    void unfinishedRunNameAndFooter() {
        signIn(name);
        openBank(m_bank);
        ModalWatcher watcher;
        tick(uozKontrol->Timer3, 10); // ten ticks: 35 .. 26 shown
        clickAnswer(1);
        secondsPass(60);
        uozKontrol->N9->trigger();
        const QString file =
            QStringLiteral("_") + name + QStringLiteral("  7-12-2026  9-06-03.usr");
        QCOMPARE(protocolFiles(), QStringList{file});
        const QStringList expected =
            header(QStringLiteral("9-05-03")) + block(1, 1, 3, QStringLiteral("9")) +
            footer(QStringLiteral("Тест до конца не пройден."), QStringLiteral("9-06-03"));
        QCOMPARE(readFile(file), cp1251Lines(expected));
        QCOMPARE(uozKontrol->Edit1->text(), QString()); // reset after the save
    }

    void abandonedBeforeAnyAnswer() {
        signIn(name);
        openBank(m_bank);
        secondsPass(2);
        uozKontrol->closeForm();
        const QString file =
            QStringLiteral("_") + name + QStringLiteral("  7-12-2026  9-05-05.usr");
        QCOMPARE(protocolFiles(), QStringList{file});
        QCOMPARE(readFile(file), cp1251Lines(header(QStringLiteral("9-05-03")) +
                                             footer(QStringLiteral("Тест до конца не пройден."),
                                                    QStringLiteral("9-05-05"))));
        QVERIFY(!uozKontrol->Timer1->enabled());
        QVERIFY(!uozKontrol->Timer3->enabled());
    }

    // Two runs ending in the same second under one name (two machines writing to one shared
    // folder, two trainees of the same name) keep both protocols: the later takes a free name.
    void sameNameInTheSameSecondKeepsBothProtocols() {
        const QString stamp = QStringLiteral("  7-12-2026  9-05-03");
        const QString file = QStringLiteral("_") + name + stamp + QStringLiteral(".usr");
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();
        for (int run = 0; run < 2; ++run) {
            signIn(name);
            openBank(m_bank);
            uozKontrol->N9->trigger();
        }
        const QString second = QStringLiteral("_") + name + stamp + QStringLiteral(" (2).usr");
        const QString third = QStringLiteral("_") + name + stamp + QStringLiteral(" (3).usr");
        QCOMPARE(protocolFiles(), (QStringList{second, third, file})); // " (" sorts before "."
        QCOMPARE(readFile(file), QByteArray(100000, 'x'));
        QVERIFY(readText(second).startsWith(name + stamp));
        QCOMPARE(readFile(third), readFile(second));
        QCOMPARE(runState().protocolFileName, third);
    }

    void bankTextsReachTheProtocolUnchanged() {
        // Line breaks as the bank holds them (CR LF from our tool and from Windows banks, bare
        // LF or CR from elsewhere), no-break spaces (byte A0), characters outside the code page.
        QList<Question> qs{question(1, 1), question(2, 2)};
        qs[0].vopros = QStringLiteral("Строка\u00A0один\r\nстрока два\rтри\nчетыре");
        qs[0].otvet[0] = QString();
        qs[0].otvet[1] = QStringLiteral("日本 €");
        qs[0].otvet[2] = QStringLiteral("100\u00A0км\r\n");
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("ml.mdb")), qs);
        signIn(name);
        openBank(bank);
        QCoreApplication::processEvents(); // the window shows its question
        ModalWatcher watcher;
        clickAnswer(1);
        uozKontrol->N9->trigger();
        const QByteArray bytes = readFile(protocolFiles().value(0));
        QVERIFY(bytes.contains(
            cp1251Lines({QStringLiteral("Содержание вопроса:"), qs[0].vopros, QStringLiteral("1. "),
                         QStringLiteral("2. ?? €"), QStringLiteral("3. ") + qs[0].otvet[2],
                         QStringLiteral("4. Ответ 1.4")})));
        QVERIFY(bytes.contains("\xD1\xF2\xF0\xEE\xEA\xE0\xA0\xEE\xE4\xE8\xED\r\n"));
        QVERIFY(bytes.contains("\r\n\r\n4. "));
    }

    void longRightAnswerReachesNoticeAndProtocol() {
        // Longer than a single-line edit holds (32,767), and still the number 2.
        const QString prOtvet = QString(39999, QLatin1Char('0')) + QLatin1Char('2');
        const QString bank = makeBank(m_dir->filePath(QStringLiteral("long.mdb")),
                                      {question(1, prOtvet), question(2, 4)});
        signIn(name);
        openBank(bank);
        QCoreApplication::processEvents(); // the window shows its question
        ModalWatcher watcher;
        clickAnswer(1);
        QCOMPARE(watcher.notices.value(0),
                 QStringLiteral("Неверный ответ. Верный ответ номер   ") + prOtvet);
        uozKontrol->N9->trigger();
        QVERIFY(readFile(protocolFiles().value(0))
                    .contains(cp1251Lines({QStringLiteral("Правильный ответ:") + prOtvet})));
        signIn(name);
        openBank(bank);
        QCoreApplication::processEvents();
        clickAnswer(2);
        QCOMPARE(watcher.notices.last(), QStringLiteral("Верный ответ"));
    }

    void clockTexts() {
        formats::resetFromHostLocale();
        formats::settings().timeSeparator = QLatin1Char(':');
        formats::settings().longTimeFormat = QStringLiteral("hh:mm:ss");
        clock_::setFixed(QDateTime(QDate(2027, 3, 1), QTime(9, 5, 7)));
        tick(uozKontrol->Timer2);
        QCOMPARE(uozKontrol->Edit2->text(), QStringLiteral("09:05:07")); // before the first change
        QCOMPARE(runState().dateText, QStringLiteral("1-3-2027"));
        QCOMPARE(runState().timeText, QStringLiteral("09-05-07"));
        tick(FormReg->Timer1); // the sign-in clock's own date pattern in between
        clock_::advance(1000);
        tick(uozKontrol->Timer2);
        QCOMPARE(uozKontrol->Edit2->text(), QStringLiteral("09-05-08"));
        QCOMPARE(runState().dateText, QStringLiteral("1-3-2027"));
        formats::settings().longTimeFormat = QStringLiteral("h:mm:ss");
        clock_::setFixed(QDateTime(QDate(2026, 12, 17), QTime(14, 30, 0)));
        tick(uozKontrol->Timer2);
        QCOMPARE(uozKontrol->Edit2->text(), QStringLiteral("14-30-00"));
        QCOMPARE(runState().dateText, QStringLiteral("17-12-2026"));
    }

    void answerBeforeTheFirstTick() {
        // Nothing counted down yet: the seconds used are those of Edit3 as the window showed it.
        signIn(name);
        openBank(m_bank);
        ModalWatcher watcher;
        clickAnswer(3);
        QVERIFY(uozKontrol->Memo1->toPlainText().contains(
            QStringLiteral("Вы отвечали на вопрос: 0 сек. из 35")));
        tick(uozKontrol->Timer3, 3); // 35, 34, 33
        clickAnswer(4);
        tick(uozKontrol->Timer1);
        QVERIFY(uozKontrol->Memo1->toPlainText().contains(
            QStringLiteral("Вы отвечали на вопрос: 2 сек. из 35")));
    }

    void nextQuestionStartsWithItsWholeAllowance() {
        signIn(name);
        openBank(m_bank);
        ModalWatcher watcher;
        tick(uozKontrol->Timer3, 35); // question 1 times out, its countdown showed 1 last
        QCOMPARE(watcher.notices, QStringList{QStringLiteral("Вы не успели ответить на вопрос!")});
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("35"));
        clickAnswer(4); // before the first tick of question 2
        const QString buffer = uozKontrol->Memo1->toPlainText();
        QCOMPARE(buffer.count(QStringLiteral("Вы отвечали на вопрос: 34 сек. из 35")), 1);
        QCOMPARE(buffer.count(QStringLiteral("Вы отвечали на вопрос: 0 сек. из 35")), 1);
    }

    void answerTimeChosenDuringAQuestionKeepsItsSeconds() {
        // The answer-time window stays open during a run; confirming there shows its seconds
        // in the countdown, but the question on screen keeps its allowance.
        signIn(name);
        uozKontrol->N3->trigger();
        openBank(m_bank);
        ModalWatcher watcher;
        QTest::mouseClick(uozKontrol_Time->CheckBox3, Qt::LeftButton); // 60
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        QCOMPARE(uozKontrol->Edit3->text(), QStringLiteral("60"));
        clickAnswer(3);
        tick(uozKontrol->Timer3, 3); // 35, 34, 33
        uozKontrol_Time->show();
        QTest::mouseClick(uozKontrol_Time->BitBtn1, Qt::LeftButton);
        clickAnswer(4);
        const QString buffer = uozKontrol->Memo1->toPlainText();
        QVERIFY2(buffer.contains(QStringLiteral("Вы отвечали на вопрос: 0 сек. из 35")),
                 qPrintable(buffer));
        QVERIFY(buffer.contains(QStringLiteral("Вы отвечали на вопрос: 2 сек. из 35")));
    }

    void countdownStopsBeforeAFailedSave() {
        // The error box of a failed save runs a nested loop; a time-out behind it would count
        // one more wrong answer after the footer was written.
        QTemporaryDir gone;
        QStringList countdownBehindTheBox;
        ModalWatcher watcher;
        watcher.onError = [&](const QString&) {
            countdownBehindTheBox << (uozKontrol->Timer3->enabled() ? "running" : "stopped");
        };
        const Home unusable(QStringLiteral("/dev/null")); // no way out for the protocol
        for (const bool byClosing : {false, true}) {
            signIn(name);
            openBank(m_bank);
            QDir::setCurrent(gone.path());
            QVERIFY(QDir().rmdir(gone.path())); // the save will fail
            if (byClosing)
                uozKontrol->closeForm();
            else
                uozKontrol->N9->trigger();
            QDir::setCurrent(m_dir->path());
            QVERIFY(QDir().mkpath(gone.path()));
            uozKontrol->show();
        }
        QCOMPARE(countdownBehindTheBox, (QStringList{"stopped", "stopped"}));
        QCOMPARE(watcher.errors.size(), 2);
    }

    void slashInTheNameIsMendedInTheFileNameOnly() {
        const QString slashed = QStringLiteral("Петров/Пётр");
        signIn(slashed);
        openBank(m_bank);
        ModalWatcher watcher;
        uozKontrol->N9->trigger();
        QCOMPARE(watcher.errors, QStringList());
        const QString file = QStringLiteral("_Петров_Пётр  7-12-2026  9-05-03.usr");
        QCOMPARE(protocolFiles(), QStringList{file});
        QVERIFY(readText(file).startsWith(slashed + QStringLiteral("  7-12-2026  9-05-03\r\n")));
        QCOMPARE(menuState(), idle);
    }

    void unwritableFolderIsReportedAndTheRunStillEnds() {
        signIn(name);
        openBank(m_bank);
        QTemporaryDir gone;
        QDir::setCurrent(gone.path());
        QVERIFY(QDir().rmdir(gone.path())); // the working folder no longer exists
        const Home unusable(QStringLiteral("/dev/null"));
        ModalWatcher watcher;
        clickAnswer(3);
        clickAnswer(1);
        tick(uozKontrol->Timer1);
        QCOMPARE(watcher.errors.size(), 1);
        QVERIFY2(watcher.errors[0].startsWith(QStringLiteral("Не удалось записать файл")),
                 qPrintable(watcher.errors[0]));
        QVERIFY(watcher.errors[0].contains(name + QStringLiteral("  7-12-2026  9-05-03.usr")));
        QCOMPARE(menuState(), idle);
        QVERIFY(!DataModule1->ADOTableControl->active());
        QVERIFY(!uozKontrol->Timer1->enabled());
        // The text stays in the buffer, with one footer, and closing writes no second one.
        uozKontrol->closeForm();
        QCOMPARE(watcher.errors.size(), 1);
        const QString buffer = uozKontrol->Memo1->toPlainText();
        QVERIFY(buffer.startsWith(name));
        QCOMPARE(buffer.count(QStringLiteral("Тест окончен в ")), 1);
        QVERIFY(!buffer.contains(QStringLiteral("Тест до конца не пройден.")));
        QDir::setCurrent(m_dir->path());
    }
};

QTEST_MAIN(TestProtocol)
#include "test_protocol.moc"
