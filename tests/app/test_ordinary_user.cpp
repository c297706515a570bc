// The program as an ordinary user meets it on a classroom machine: no root's rights, and a
// working folder whose path holds Cyrillic letters and a space. One whole test run, one change
// in the question editor and one save in the report editor, each checked on disk.
#include "editor_fixture.h"
#include "ordinary_user.h"
#include "richedit.h"
#include "run_fixture.h"
#include "ui_seams.h"
#include "uoz_kontrol_otchet.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList bankQuestions(const QString& path) {
    sqlite3* db = nullptr;
    QStringList texts;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(db, "SELECT Vopros FROM kontrol ORDER BY rowid", -1, &select, nullptr);
        while (select && sqlite3_step(select) == SQLITE_ROW)
            texts << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
        sqlite3_finalize(select);
    }
    sqlite3_close_v2(db);
    return texts;
}

uid_t ownerOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_uid : uid_t(-1);
}

} // namespace

class TestOrdinaryUser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { fx::startProgram(); }
    void cleanupTestCase() { destroyForms(); }

    void runEditAndSaveInACyrillicFolder() {
        KV_AS_ORDINARY_USER();
        QVERIFY(::geteuid() != 0);
        QTemporaryDir holder;
        const QString folder = holder.filePath(QStringLiteral("Рабочая папка Квиронта"));
        QVERIFY(QDir().mkdir(folder) && QDir::setCurrent(folder));
        const QString bank =
            fx::makeBank(QDir(folder).filePath(QStringLiteral("Банк вопросов.mdb")),
                         {fx::question(1, 3), fx::question(2, 4)});
        QVERIFY(!bank.isEmpty());
        ModalWatcher watcher;

        // A whole run, answered right and then wrong.
        fx::resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        fx::tick(uozKontrol->Timer2, 2);
        fx::signIn(QStringLiteral("Иванов Иван"));
        fx::openBank(bank);
        fx::clickAnswer(3);
        fx::clickAnswer(1);
        fx::tick(uozKontrol->Timer1);
        fx::closeTestWindow();
        const QString protocol =
            QDir(folder).filePath(QStringLiteral("Иванов Иван  7-12-2026  9-05-03.usr"));
        QCOMPARE(fx::protocolFiles(), QStringList{QFileInfo(protocol).fileName()});
        QVERIFY(fx::readText(protocol).contains(
            QStringLiteral("правильных ответов 1. Неправильных ответов 1. Всего вопросов 2")));
        QCOMPARE(watcher.errors, QStringList());

        // One change in the question editor, written and closed.
        ed::w()->show();
        ed::openBank(bank);
        ed::type(ed::w()->DBMemo1, QStringLiteral("!"));
        ed::click(DBNavigator::Post);
        ed::w()->N5->trigger();
        QCOMPARE(bankQuestions(bank),
                 (QStringList{QStringLiteral("!Вопрос 1"), QStringLiteral("Вопрос 2")}));

        // The protocol opened, changed and saved in the report editor.
        TuozKontrol_otchet* reports = uozKontrol_otchet;
        reports->show();
        dialogs::queueFileAnswer(protocol);
        reports->N2->trigger();
        reports->N17->trigger(); // editing on
        ed::type(reports->RichEdit1, QStringLiteral("Проверено. "));
        reports->N6->trigger();
        reports->N5->trigger();
        QVERIFY(fx::readText(protocol).startsWith(QStringLiteral("Проверено. Иванов Иван")));
        QCOMPARE(ownerOf(protocol), ::geteuid());
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(
            QDir(folder).entryList(QDir::Files | QDir::Hidden),
            (QStringList{QStringLiteral("Банк вопросов.mdb"), QFileInfo(protocol).fileName()}));
    }
};

QTEST_MAIN(TestOrdinaryUser)
#include "test_ordinary_user.moc"
