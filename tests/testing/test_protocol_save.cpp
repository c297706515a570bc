// Saving the protocol when the conditions are bad: a full disk, a name too long for a file
// name, a working folder deleted during the run.
#include "core_seams.h"
#include "full_disk.h"
#include "guard.h"
#include "modal_watcher.h"
#include "ordinary_user.h"
#include "protocol_store.h"
#include "run_fixture.h"
#include "startup.h"
#include "textfile.h"

#include <QApplication>
#include <QClipboard>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <cerrno>
#include <unistd.h>

using namespace fx;

namespace {
const QString name = QStringLiteral("Иванов Иван Иванович");
const QString stamp = QStringLiteral("  7-12-2026  9-05-03");

} // namespace

class TestProtocolSave : public QObject {
    Q_OBJECT
    std::unique_ptr<RunScope> m_dir;
    QString m_bank;

    void runTwoQuestions(const QString& trainee) {
        signIn(trainee);
        openBank(m_bank);
        clickAnswer(3);
        clickAnswer(1);
        tick(uozKontrol->Timer1);
    }

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() {
        m_dir = std::make_unique<RunScope>(2);
        // Long questions: the protocol is about 10 KB.
        QList<Question> questions{question(1, 3), question(2, 4)};
        for (Question& q : questions)
            q.vopros += QString(5000, QLatin1Char('v'));
        m_bank = makeBank(m_dir->filePath(QStringLiteral("two.mdb")), questions);
    }
    void cleanup() {
        textfile::setWriteCall(nullptr);
        closeTestWindow();
        QDir::setCurrent(m_dir->path());
        m_dir.reset();
    }

    void fullDiskKeepsTheOldProtocolAndSaysWhy_data() {
        QTest::addColumn<qint64>("free");
        QTest::newRow("disk full") << qint64(0);
        QTest::newRow("4 KB free") << qint64(4096);
    }
    void fullDiskKeepsTheOldProtocolAndSaysWhy() {
        QFETCH(qint64, free);
        const QString file = name + stamp + QStringLiteral(".usr");
        const QString second = name + stamp + QStringLiteral(" (2).usr"); // the old one stays
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
        old.close();
        disk::room = free;
        textfile::setWriteCall(disk::full);
        ModalWatcher watcher;
        runTwoQuestions(name);
        // The user's own folder is on a full disk too: the box gives both reasons.
        const QString full = textfile::systemReason(ENOSPC);
        const QString kept = QDir(protocolstore::fallbackFolder()).filePath(file);
        QCOMPARE(watcher.errors,
                 QStringList{errorBoxText(
                     QStringLiteral("Не удалось записать файл «%1»: %2.\nЗапасная папка тоже не "
                                    "приняла протокол: Не удалось записать файл «%3»: %2")
                         .arg(m_dir->filePath(second), full, kept))});
        QVERIFY(!QFileInfo::exists(kept));
        QCOMPARE(readFile(file), QByteArray("old\r\n"));
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("two.mdb"), file}));
        QCOMPARE(menuState(), idle);
        // With room again the next run is saved whole, beside the old one.
        textfile::setWriteCall(nullptr);
        runTwoQuestions(name);
        QCOMPARE(readFile(file), QByteArray("old\r\n"));
        QVERIFY(readFile(second).size() > 10000);
        QVERIFY(readText(second).endsWith(QStringLiteral("Тест окончен в 9-05-03\r\n")));
    }

    void longNameIsShortenedInTheFileNameOnly_data() {
        QTest::addColumn<QString>("trainee");
        QTest::newRow("116 Cyrillic letters") << QString(116, QChar(u'Ж'));
        QTest::newRow("200 Cyrillic letters") << QString(200, QChar(u'Ж'));
        QTest::newRow("300 Latin letters") << QString(300, QLatin1Char('n'));
    }
    void longNameIsShortenedInTheFileNameOnly() {
        QFETCH(QString, trainee);
        signIn(trainee);
        openBank(m_bank);
        ModalWatcher watcher;
        uozKontrol->N9->trigger();
        QCOMPARE(watcher.errors, QStringList());
        const QStringList files = protocolFiles();
        QCOMPARE(files.size(), 1);
        const QString file = files[0];
        const qsizetype bytes = QFile::encodeName(file).size();
        QVERIFY2(bytes <= 255 && bytes >= 254, qPrintable(QString::number(bytes)));
        QVERIFY(file.endsWith(stamp + QStringLiteral(".usr")));
        const QString kept = file.mid(1, file.size() - 1 - stamp.size() - 4);
        QVERIFY(trainee.startsWith(kept) && kept.size() < trainee.size());
        QVERIFY(readText(file).startsWith(trainee + stamp + QStringLiteral("\r\n")));
    }

    void deletedFolderIsNamedAndARecreatedOneIsWrittenTo() {
        QTemporaryDir holder;
        const QString folder =
            QFileInfo(holder.path()).canonicalFilePath() + QStringLiteral("/work");
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QDir::setCurrent(folder));
        signIn(name);
        openBank(m_bank);
        QVERIFY(QDir().rmdir(folder)); // a cleaning script removes it during the run
        ModalWatcher watcher;
        uozKontrol->N9->trigger();
        const QString file = QStringLiteral("_") + name + stamp + QStringLiteral(".usr");
        const QString kept = QDir(protocolstore::fallbackFolder()).filePath(file);
        QCOMPARE(watcher.notices,
                 QStringList{QStringLiteral("Не удалось записать файл «%1»: папка «%2» больше не "
                                            "существует.\nПротокол сохранён в файл «%3». "
                                            "Отчёт по классу эту папку сам не просматривает: "
                                            "назовите её команде kviront-results вместе с "
                                            "рабочей папкой.")
                                 .arg(file, folder, kept)});
        QVERIFY(readText(kept).startsWith(name + stamp));
        QCOMPARE(menuState(), idle);
        // Made again under the same path, the folder takes the next protocol.
        QVERIFY(QDir().mkdir(folder));
        signIn(name);
        openBank(m_bank);
        uozKontrol->N9->trigger();
        QCOMPARE(watcher.total(), 1);
        QVERIFY(readText(QDir(folder).filePath(file)).startsWith(name + stamp));
        QCOMPARE(QDir::currentPath(), folder);
    }

    // Whatever the name holds, the protocol is one new .usr file in the working folder, and
    // nothing else there changes.
    void nameNeverLeadsOutOfTheProtocolFile_data() {
        QTest::addColumn<QString>("trainee");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("NUL") << QStringLiteral("two.mdb") + QChar(0) + QStringLiteral(" x")
                             << QStringLiteral("two.mdb_ x");
        QTest::newRow("line breaks")
            << QStringLiteral("Иванов\nИван\r") << QStringLiteral("Иванов_Иван_");
        QTest::newRow("..") << QStringLiteral("..") << QStringLiteral("..");
        QTest::newRow("up and over")
            << QStringLiteral("../two.mdb") << QStringLiteral(".._two.mdb");
        QTest::newRow("the bank's name") << QStringLiteral("two.mdb") << QStringLiteral("two.mdb");
        QTest::newRow("tab and DEL") << QStringLiteral("a\tb\x7f") << QStringLiteral("a_b_");
    }
    void nameNeverLeadsOutOfTheProtocolFile() {
        QFETCH(QString, trainee);
        QFETCH(QString, fileName);
        const QByteArray bank = readFile(m_bank);
        // Pasted: typing gives no control characters.
        uozKontrol->N4->trigger();
        QApplication::clipboard()->setText(trainee);
        QTest::keyClick(FormReg->Edit1, Qt::Key_V, Qt::ControlModifier);
        QTest::mouseClick(FormReg->Button1, Qt::LeftButton);
        QCOMPARE(FormReg->Edit4->text(), trainee);
        openBank(m_bank);
        ModalWatcher watcher;
        uozKontrol->N9->trigger();
        QCOMPARE(watcher.total(), 0);
        const QString file = QStringLiteral("_") + fileName + stamp + QStringLiteral(".usr");
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{file, QStringLiteral("two.mdb")}));
        QCOMPARE(readFile(m_bank), bank);
        QString header = trainee;
        header.remove(QChar(0));
        QVERIFY(readText(file).startsWith(header + stamp + QStringLiteral("\r\n")));
    }

    // A link planted under the protocol's name in a shared folder: its target stays as it
    // was, and the protocol takes the next free name beside it.
    void plantedLinkIsNeverWrittenThrough() {
        QTemporaryDir elsewhere;
        const QString victim = elsewhere.filePath(QStringLiteral("bank.mdb"));
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("bank") == 4);
        file.close();
        const QString name = QStringLiteral("_") + ::name + stamp + QStringLiteral(".usr");
        QVERIFY(QFile::link(victim, name));
        signIn(::name);
        openBank(m_bank);
        ModalWatcher watcher;
        uozKontrol->N9->trigger();
        QCOMPARE(readFile(victim), QByteArray("bank"));
        QVERIFY(QFileInfo(name).isSymLink());
        QCOMPARE(watcher.total(), 0);
        const QString second = QStringLiteral("_") + ::name + stamp + QStringLiteral(" (2).usr");
        QVERIFY(!QFileInfo(second).isSymLink());
        QVERIFY(readText(second).startsWith(::name));
    }

    // A working folder the user may not write: said before the first question, and the
    // protocol goes to the user's own folder, completed or abandoned.
    void refusingFolderIsSaidAtTheStartAndTheProtocolKept() {
        KV_AS_ORDINARY_USER();
        const QString folder = QDir::currentPath();
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        const QString warning = QStringLiteral("Рабочая папка «%1» не принимает файлов (Отказано в "
                                               "доступе). Протокол этого теста будет сохранён в "
                                               "папку «%2».")
                                    .arg(QDir::currentPath(), protocolstore::fallbackFolder());
        ModalWatcher watcher;
        for (const bool finish : {true, false}) {
            watcher.notices.clear();
            signIn(name);
            openBank(m_bank);
            QCOMPARE(watcher.notices, QStringList{warning}); // before the first question
            if (finish) {
                clickAnswer(3);
                clickAnswer(1);
                tick(uozKontrol->Timer1);
            } else {
                uozKontrol->N9->trigger();
            }
            const QString file =
                (finish ? QString() : QStringLiteral("_")) + name + stamp + QStringLiteral(".usr");
            const QString kept = QDir(protocolstore::fallbackFolder()).filePath(file);
            QCOMPARE(watcher.notices.last(),
                     QStringLiteral("Не удалось записать файл «%1»: Отказано в доступе.\nПротокол "
                                    "сохранён в файл «%2». Отчёт по классу эту папку сам не "
                                    "просматривает: назовите её команде kviront-results вместе "
                                    "с рабочей папкой.")
                         .arg(QDir::current().absoluteFilePath(file), kept));
            QVERIFY(readText(kept).endsWith(QStringLiteral("Тест окончен в 9-05-03\r\n")));
        }
        QCOMPARE(watcher.errors, QStringList());
    }
};

QTEST_MAIN(TestProtocolSave)
#include "test_protocol_save.moc"
