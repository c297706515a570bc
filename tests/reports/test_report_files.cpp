// The report editor's files under bad conditions: a full disk when saving, FIFOs and devices
// chosen to open.
#include "dialogs.h"
#include "editor_fixture.h"
#include "full_disk.h"
#include "guard.h"
#include "modal_watcher.h"
#include "protocol_sample.h"
#include "textfile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

class TestReportFiles : public QObject, private EditorFixture {
    Q_OBJECT
    QStringList entries() const {
        return QDir(dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

private slots:
    void init() { QVERIFY(setUp()); }
    void cleanup() {
        textfile::setWriteCall(nullptr);
        QCOMPARE(dialogs::pendingAnswers(), 0);
        tearDown();
    }

    void saveOnAFullDiskKeepsTheFileAndSaysWhy_data() {
        QTest::addColumn<qint64>("free");
        QTest::newRow("disk full") << qint64(0);
        QTest::newRow("half the file free") << qint64(protocolBytes().size() / 2);
    }
    void saveOnAFullDiskKeepsTheFileAndSaysWhy() {
        QFETCH(qint64, free);
        open(path("a.usr"));
        type(QStringLiteral("F"));
        disk::room = free;
        textfile::setWriteCall(disk::full);
        ModalWatcher watcher;
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        const QString error = errorBoxText(QStringLiteral("Не удалось записать файл «%1»: %2")
                                               .arg(path("a.usr"), textfile::systemReason(ENOSPC)));
        QCOMPARE(watcher.errors, QStringList{error});
        QCOMPARE(fileBytes(path("a.usr")), protocol);
        QCOMPARE(entries(), QStringList{QStringLiteral("a.usr")});
        // "Закрыть" fails the same way and keeps the text.
        disk::room = free;
        w->N3->trigger();
        QCOMPARE(watcher.errors, (QStringList{error, error}));
        QVERIFY(shown() && modified() && text().startsWith(QLatin1Char('F')));
        textfile::setWriteCall(nullptr);
        w->N6->trigger();
        QCOMPARE(fileBytes(path("a.usr")), "F" + protocol);
    }

    // Closing must stay possible when no save can succeed: the user may close without saving.
    void closingOnAFullDiskAsksToCloseWithoutSaving() {
        open(path("a.usr"));
        type(QStringLiteral("F"));
        w->show();
        disk::room = 0;
        textfile::setWriteCall(disk::full);
        ModalWatcher watcher;
        dialogs::queueConfirm(true);
        w->N5->trigger(); // "Выход"
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QVERIFY(dialogs::lastConfirmText().contains(textfile::systemReason(ENOSPC)));
        QVERIFY(!w->isVisible() && !shown() && text().isEmpty());
        QCOMPARE(fileBytes(path("a.usr")), protocol);
    }

    void fifoAndDeviceAreRefusedWithoutBlocking() {
        // Opening a FIFO would wait for a writer; /dev/zero reports size 0 and never ends.
        const QString fifo = path("pipe.usr");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString zero = path("zero.usr");
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        open(path("a.usr"));
        ModalWatcher watcher;
        open(fifo);
        open(zero);
        QCOMPARE(
            watcher.errors,
            (QStringList{
                QStringLiteral("Не удалось открыть файл «%1»: это канал (FIFO), а не обычный файл.")
                    .arg(fifo),
                QStringLiteral("Не удалось открыть файл «%1»: это устройство, а не обычный файл.")
                    .arg(zero)}));
        QVERIFY(shown() && !modified() && OtchetOpened == 1.0);
        QCOMPARE(asFile(text()), protocol);
    }
};

QTEST_MAIN(TestReportFiles)
#include "test_report_files.moc"
