// The report editor's files under bad conditions: a full disk when saving, FIFOs and devices
// chosen to open.
#include "core_seams.h"
#include "dialogs.h"
#include "editor_fixture.h"
#include "full_disk.h"
#include "guard.h"
#include "modal_watcher.h"
#include "ordinary_user.h"
#include "protocol_sample.h"
#include "textfile.h"
#include "ui_seams.h"

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

    // A protocol the user may not write, in a folder the user may: a rename would replace it
    // all the same. "Сохранить", "Сохранить как" onto it and "Выход" each refuse, leave it as
    // it was, and keep the text on screen.
    void readOnlyProtocolIsNeverReplaced() {
        KV_AS_ORDINARY_USER();
        const QString other = path("b.usr");
        QVERIFY(writeFile(other, protocol));
        for (const QString& file : {path("a.usr"), other})
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
        const QString refusal =
            errorBoxText(QStringLiteral("Не удалось записать файл «%1»: Отказано в доступе"));
        open(path("a.usr"));
        type(QStringLiteral("F"));
        ModalWatcher watcher;
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        dialogs::queueFileAnswer(other);
        w->N7->trigger();
        // "Выход" gives the same reason with its question, answered: not without saving.
        dialogs::queueConfirm(false);
        w->N5->trigger();
        QCOMPARE(watcher.errors, (QStringList{refusal.arg(path("a.usr")), refusal.arg(other)}));
        QVERIFY(dialogs::lastConfirmText().startsWith(refusal.arg(path("a.usr")) +
                                                      QStringLiteral("\n\n")));
        QCOMPARE(fileBytes(path("a.usr")), protocol);
        QCOMPARE(fileBytes(other), protocol);
        QCOMPARE(entries(), (QStringList{QStringLiteral("a.usr"), QStringLiteral("b.usr")}));
        QVERIFY(w->isVisible() && shown() && modified() && text().startsWith(QLatin1Char('F')));
        // Saved under a name of its own, the text is kept.
        dialogs::queueFileAnswer(path("c.usr"));
        w->N7->trigger();
        QCOMPARE(fileBytes(path("c.usr")), "F" + protocol);
    }
};

QTEST_MAIN(TestReportFiles)
#include "test_report_files.moc"
