// Saving the protocol when the conditions are bad: a full disk, a name too long for a file
// name, a working folder deleted during the run.
#include "guard.h"
#include "modal_watcher.h"
#include "run_fixture.h"
#include "startup.h"
#include "textfile.h"

#include <QTemporaryDir>
#include <cerrno>
#include <unistd.h>

using namespace fx;

namespace {
const QString name = QStringLiteral("Иванов Иван Иванович");
const QString stamp = QStringLiteral("  7-12-2026  9-05-03");

// A disk with `room` bytes free.
qint64 room = 0;
qint64 fullDisk(int fd, const char* data, qint64 size) {
    if (room <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const qint64 taken = qMin(size, room);
    room -= taken;
    return ::write(fd, data, size_t(taken));
}
} // namespace

class TestProtocolSave : public QObject {
    Q_OBJECT
    std::unique_ptr<WorkFolder> m_dir;
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
        m_dir = std::make_unique<WorkFolder>();
        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        tick(uozKontrol->Timer2, 2);
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
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
        old.close();
        room = free;
        textfile::setWriteCall(fullDisk);
        ModalWatcher watcher;
        runTwoQuestions(name);
        QCOMPARE(watcher.errors,
                 QStringList{errorBoxText(
                     QStringLiteral("Не удалось записать файл «%1»: %2")
                         .arg(m_dir->filePath(file), textfile::systemReason(ENOSPC)))});
        QCOMPARE(readFile(file), QByteArray("old\r\n"));
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("two.mdb"), file}));
        QCOMPARE(menuState(), idle);
        // With room again the next run is saved whole.
        textfile::setWriteCall(nullptr);
        runTwoQuestions(name);
        QVERIFY(readFile(file).size() > 10000);
        QVERIFY(readText(file).endsWith(QStringLiteral("Тест окончен в 9-05-03\r\n")));
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
        QCOMPARE(watcher.errors,
                 QStringList{QStringLiteral(
                                 "Не удалось записать файл «%1»: папка «%2» больше не существует.")
                                 .arg(file, folder)});
        QCOMPARE(menuState(), idle);
        // Made again under the same path, the folder takes the next protocol.
        QVERIFY(QDir().mkdir(folder));
        signIn(name);
        openBank(m_bank);
        uozKontrol->N9->trigger();
        QCOMPARE(watcher.errors.size(), 1);
        QVERIFY(readText(QDir(folder).filePath(file)).startsWith(name + stamp));
        QCOMPARE(QDir::currentPath(), folder);
    }
};

QTEST_MAIN(TestProtocolSave)
#include "test_protocol_save.moc"
