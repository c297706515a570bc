// A run whose bank another program changes meanwhile: questions deleted from it, and the bank
// held locked while the trainee answers.
#include "run_fixture.h"
#include "run_texts.h"

#include <sqlite3.h>

using namespace fx;

namespace {
// Another program with the same bank open.
class OtherProgram {
public:
    explicit OtherProgram(const QString& path) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    }
    ~OtherProgram() { sqlite3_close_v2(m_db); }
    // Once the run's read has ended.
    bool exec(const char* sql) {
        QCoreApplication::processEvents();
        return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool lock() { return exec("BEGIN EXCLUSIVE"); }

private:
    sqlite3* m_db = nullptr;
};
} // namespace

class TestRunBankChanges : public QObject {
    Q_OBJECT
    std::unique_ptr<RunScope> m_dir;
    QString m_bank;

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() {
        m_dir = std::make_unique<RunScope>();
        // The first run of a process presents records 1, 4, 3, 2, 5.
        m_bank = makeBank(
            m_dir->filePath(QStringLiteral("five.mdb")),
            {question(1, 1), question(2, 2), question(3, 3), question(4, 4), question(5, 1)});
        signIn(QStringLiteral("Петров"));
        openBank(m_bank);
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::questionStatus(1, 5));
    }
    void cleanup() { m_dir.reset(); }

    void deletedQuestionsArePassedOver() {
        OtherProgram other(m_bank);
        QVERIFY(other.exec("DELETE FROM kontrol WHERE Name IN (4, 5)"));
        ModalWatcher watcher;
        clickAnswer(1);
        QCOMPARE(watcher.notices, (QStringList{rightNotice, runtexts::skipped(1)}));
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 3"));
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::questionStatus(2, 4));
        QVERIFY(answerFieldsEnabled() && uozKontrol->Timer3->enabled());
        clickAnswer(3);
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 2"));
        QCOMPARE(uozKontrol->Edit1->text(),
                 runtexts::questionStatus(3, 4)); // record 5 is not reached yet
        clickAnswer(1); // the last one left: record 5 is gone too, then the result
        const QString result = runtexts::result(2, 1, 3);
        QCOMPARE(watcher.notices.mid(2), (QStringList{rightNotice, wrongNotice(QStringLiteral("2")),
                                                      runtexts::skipped(1), result}));
        QCOMPARE(watcher.errors, QStringList());
        tick(uozKontrol->Timer1);
        QCOMPARE(menuState(), idle);
        // Three blocks, and the result that says so.
        const QString protocol = readText(protocolFiles().value(0));
        QCOMPARE(protocol.count(QStringLiteral("Содержание вопроса:")), 3);
        QVERIFY(protocol.contains(result + QStringLiteral("\r\n")));
    }

    void lockedBankIsWaitedFor() {
        OtherProgram other(m_bank);
        QVERIFY(other.lock());
        ModalWatcher watcher;
        clickAnswer(1);
        QCOMPARE(watcher.notices, QStringList{rightNotice});
        QCOMPARE(watcher.errors, QStringList());
        // Waiting, with nothing to answer and no time running.
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::bankLocked());
        QVERIFY(answerFieldsDisabled() && !uozKontrol->Timer3->enabled());
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 1"));
        tick(uozKontrol->bankWaitTimer(), 3);
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::bankLocked());
        QVERIFY(other.exec("COMMIT"));
        tick(uozKontrol->bankWaitTimer());
        QVERIFY(!uozKontrol->bankWaitTimer()->enabled());
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 4"));
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::questionStatus(2, 5));
        QVERIFY(answerFieldsEnabled() && uozKontrol->Timer3->enabled());
    }

    void bankLockedTooLongEndsTheRunWithItsProtocol() {
        OtherProgram other(m_bank);
        QVERIFY(other.lock());
        ModalWatcher watcher;
        clickAnswer(2);
        tick(uozKontrol->bankWaitTimer(), TuozKontrol::bankWaitTries - 1);
        QCOMPARE(watcher.notices, QStringList{wrongNotice(QStringLiteral("1"))});
        tick(uozKontrol->bankWaitTimer());
        QCOMPARE(watcher.notices.last(), runtexts::bankLockedTooLong(30));
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(menuState(), idle);
        QVERIFY(!uozKontrol->bankWaitTimer()->enabled());
        QCOMPARE(protocolFiles(), QStringList{QStringLiteral("_Петров  7-12-2026  9-05-03.usr")});
        const QString protocol = readText(protocolFiles().constFirst());
        QVERIFY(protocol.contains(QStringLiteral("Ваш ответ № 2\r\n")));
        QVERIFY(protocol.contains(QStringLiteral("Тест до конца не пройден.\r\n")));
        QVERIFY(other.exec("COMMIT"));
    }

    void bankThatCannotBeReadEndsTheRunWithItsProtocol() {
        OtherProgram other(m_bank);
        QVERIFY(other.exec("DROP TABLE kontrol"));
        ModalWatcher watcher;
        clickAnswer(1);
        QCOMPARE(watcher.notices, QStringList{rightNotice});
        QCOMPARE(watcher.errors.size(), 1);
        QVERIFY2(watcher.errors[0].contains(QStringLiteral("kontrol")) &&
                     watcher.errors[0].endsWith(runtexts::runEndedUnread()),
                 qPrintable(watcher.errors[0]));
        QCOMPARE(menuState(), idle);
        QCOMPARE(protocolFiles(), QStringList{QStringLiteral("_Петров  7-12-2026  9-05-03.usr")});
        QVERIFY(readText(protocolFiles().constFirst()).contains(QStringLiteral("Ваш ответ № 1")));
    }
};

QTEST_MAIN(TestRunBankChanges)
#include "test_run_bank_changes.moc"
