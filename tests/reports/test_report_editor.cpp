#include "dialogs.h"
#include "editor_fixture.h"
#include "modal_watcher.h"
#include "protocol_sample.h"
#include "ui_seams.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

// Where the editor's texts are saved, and what opening, failing and closing leave behind.
class TestReportEditor : public QObject, private EditorFixture {
    Q_OBJECT
private slots:
    void init() { QVERIFY(setUp()); }
    void cleanup() {
        QCOMPARE(dialogs::pendingAnswers(), 0); // every queued answer was asked for
        tearDown();
    }

    void newTextIsSavedThroughTheDialogAndStaysModified() {
        w->N20->trigger();
        QVERIFY(shown() && text().isEmpty() && OtchetCreated == 1.0 && OtchetOpened == 0.0);
        type(QStringLiteral("Новый отчёт"));
        dialogs::queueFileAnswer(path("new"));
        w->N6->trigger();
        QCOMPARE(dialogs::lastFilter(), reportFilter);
        QCOMPARE(fileBytes(path("new.usr")), cp1251(QStringLiteral("Новый отчёт\r\n")));
        QCOMPARE(OtchetFileName, path("new"));
        QVERIFY(modified()); // saving does not clear it

        // So "Закрыть" asks again; cancelled, it writes nothing and still closes the text.
        QVERIFY(QFile::remove(path("new.usr")));
        dialogs::queueFileCancel();
        w->N3->trigger();
        QVERIFY(!QFile::exists(path("new.usr")));
        QVERIFY(!shown() && text().isEmpty() && !modified());
        QVERIFY(OtchetCreated == 0.0 && OtchetOpened == 0.0);
        QCOMPARE(OtchetFileName, path("new"));
    }

    void chosenNameGetsUsrOnlyWhenItLacksIt_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("existing protocol") << "a.usr"
                                           << "a.usr";
        QTest::newRow("upper case") << "A2.USR"
                                    << "A2.USR";
        QTest::newRow("no extension") << "b"
                                      << "b.usr";
    }

    void chosenNameGetsUsrOnlyWhenItLacksIt() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        w->N20->trigger();
        type(QStringLiteral("x"));
        dialogs::queueFileAnswer(path(chosen));
        w->N6->trigger();
        QCOMPARE(fileBytes(path(written)), QByteArray("x\r\n"));
        QStringList files{"a.usr", written}; // and no "a.usr.usr"
        files.removeDuplicates();
        files.sort(Qt::CaseInsensitive);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase), files);
        QCOMPARE(OtchetFileName, path(chosen));
        // "Сохранить как" writes by the same rule.
        dialogs::queueFileAnswer(path(chosen));
        type(QStringLiteral("y"));
        w->N7->trigger();
        QCOMPARE(fileBytes(path(written)), QByteArray("xy\r\n"));
    }

    void openedTextIsSavedSilentlyToItsFile() {
        open(path("a.usr"));
        QVERIFY(shown() && !modified() && OtchetOpened == 1.0 && OtchetCreated == 0.0);
        QVERIFY(withoutDialog([&] { w->N6->trigger(); })); // unchanged: nothing to save
        QVERIFY(OtchetFileName.isEmpty());
        type(QStringLiteral("Z"));
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        QCOMPARE(fileBytes(path("a.usr")), "Z" + protocol);
        QCOMPARE(OtchetFileName, path("a.usr"));
        // Still modified, so "Закрыть" writes the same file again, silently.
        QVERIFY(writeFile(path("a.usr"), "old"));
        QVERIFY(withoutDialog([&] { w->N3->trigger(); }));
        QCOMPARE(fileBytes(path("a.usr")), "Z" + protocol);
        QVERIFY(!shown() && OtchetOpened == 0.0);
    }

    void saveAsLeavesTheOpenedTextBoundToItsFile() {
        open(path("a.usr"));
        type(QStringLiteral("1"));
        dialogs::queueFileAnswer(path("copy"));
        w->N7->trigger();
        QCOMPARE(fileBytes(path("copy.usr")), "1" + protocol);
        QVERIFY(modified() && OtchetOpened == 1.0 && OtchetFileName.isEmpty());
        type(QStringLiteral("2"));
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        QCOMPARE(fileBytes(path("a.usr")), "12" + protocol);
        QCOMPARE(fileBytes(path("copy.usr")), "1" + protocol);
    }

    void createKeepsAShownTextAndSavesBeforeTheNext() {
        open(path("a.usr"));
        w->N20->trigger();
        QVERIFY(shown() && !modified() && OtchetOpened == 1.0 && OtchetCreated == 1.0);
        QCOMPARE(asFile(text()), protocol);
        type(QStringLiteral("C"));
        QVERIFY(withoutDialog([&] { w->N20->trigger(); })); // saved silently to its file
        QCOMPARE(fileBytes(path("a.usr")), "C" + protocol);

        // After closing, a new text is empty and its save goes through the dialog.
        QVERIFY(withoutDialog([&] { w->N3->trigger(); }));
        w->N20->trigger();
        QVERIFY(text().isEmpty());
        type(QStringLiteral("n"));
        dialogs::queueFileAnswer(path("fresh"));
        w->N6->trigger();
        QCOMPARE(fileBytes(path("fresh.usr")), QByteArray("n\r\n"));
        QCOMPARE(fileBytes(path("a.usr")), "C" + protocol);
    }

    void openSavesAChangedTextFirst() {
        QVERIFY(writeFile(path("b.usr"), "b\r\n"));
        open(path("a.usr"));
        type(QStringLiteral("E"));
        dialogs::queueFileCancel(); // a cancelled open changes and saves nothing
        w->N2->trigger();
        QVERIFY(modified() && text().startsWith("E"));
        QCOMPARE(fileBytes(path("a.usr")), protocol);

        QVERIFY(withoutDialog([&] { w->N2->trigger(); }, {path("b.usr")}));
        QCOMPARE(fileBytes(path("a.usr")), "E" + protocol); // saved to its own file
        QCOMPARE(text(), QStringLiteral("b"));
        type(QStringLiteral("B"));
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        QCOMPARE(fileBytes(path("b.usr")), QByteArray("Bb\r\n"));

        // A changed new text is offered in the save dialog before the file is loaded.
        QVERIFY(withoutDialog([&] { w->N3->trigger(); }));
        w->N20->trigger();
        type(QStringLiteral("new"));
        dialogs::queueFileAnswer(path("a.usr"));
        dialogs::queueFileAnswer(path("kept"));
        w->N2->trigger();
        QCOMPARE(fileBytes(path("kept.usr")), QByteArray("new\r\n"));
        QCOMPARE(asFile(text()), "E" + protocol);
        QVERIFY(!modified() && OtchetOpened == 1.0);
    }

    void failedLoadLeavesTextFlagsAndFileAsTheyWere() {
        QFile huge(path("huge.usr"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(16 * 1024 * 1024 + 1));
        huge.close();
        open(path("a.usr"));
        type(QStringLiteral("F"));
        const QString before = text();
        ModalWatcher watcher;
        open(path("missing.usr"));
        open(path("huge.usr"));
        QCOMPARE(watcher.errors.size(), 2);
        QVERIFY2(watcher.errors[0].contains(path("missing.usr")), qPrintable(watcher.errors[0]));
        QVERIFY2(watcher.errors[1].contains(QStringLiteral("слишком велик")),
                 qPrintable(watcher.errors[1]));
        QVERIFY(shown() && text() == before && OtchetOpened == 1.0 && OtchetCreated == 0.0);
        // Later saves still go to the file the text came from.
        type(QStringLiteral("G"));
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        QCOMPARE(fileBytes(path("a.usr")), "FG" + protocol);
        QVERIFY(!QFile::exists(path("missing.usr")));
        QCOMPARE(QFileInfo(path("huge.usr")).size(), 16 * 1024 * 1024 + 1);
    }

    void filesThatAreNoProtocolLoadAsText() {
        QByteArray binary;
        for (int i = 0; i < 64 * 1024; ++i)
            binary += char((i * 7919) & 0xFF);
        QVERIFY(writeFile(path("binary.usr"), binary));
        open(path("binary.usr"));
        QVERIFY(shown() && !modified() && OtchetOpened == 1.0 && text().size() > 60000);
    }

    void protocolRoundTripIsByteIdentical() {
        open(path("a.usr"));
        QVERIFY(text().startsWith(QStringLiteral("Иванов Иван Иванович  7-12-2026  9-05-03\n")));
        QVERIFY(text().contains(QStringLiteral("два\u00A0плюс")));
        dialogs::queueFileAnswer(path("copy.usr"));
        w->N7->trigger();
        QCOMPARE(fileBytes(path("copy.usr")), protocol);
        type(QStringLiteral("x"));
        QTest::keyClick(w->RichEdit1, Qt::Key_Backspace);
        QVERIFY(modified());
        QVERIFY(writeFile(path("a.usr"), "stale"));
        QVERIFY(withoutDialog([&] { w->N6->trigger(); }));
        QCOMPARE(fileBytes(path("a.usr")), protocol);
    }

    void closingSavesAndAFailedSaveAsksBeforeLosingTheText() {
        w->hide();
        w->N20->trigger();
        type(QStringLiteral("closing"));
        ModalWatcher watcher;
        dialogs::queueFileAnswer(path("no-such-folder/x")); // cannot be written
        dialogs::queueConfirm(false);                       // not closed without saving
        dialogs::queueFileAnswer(path("closed"));
        bool keptOpen = false;
        QTimer::singleShot(0, [&] {
            w->closeForm();
            QTimer::singleShot(50, [&] {
                keptOpen = w->isVisible() && shown() && text() == "closing";
                w->closeForm();
            });
        });
        w->showModal();
        QCOMPARE(watcher.errors, QStringList()); // the reason comes with the question
        QCOMPARE(dialogs::pendingAnswers(), 0);
        const QString question = dialogs::lastConfirmText();
        QVERIFY2(question.contains(path("no-such-folder/x.usr")) &&
                     question.endsWith(QStringLiteral("Закрыть редактор отчётов без сохранения? "
                                                      "Изменения текста будут потеряны.")),
                 qPrintable(question));
        QVERIFY(keptOpen);
        QCOMPARE(fileBytes(path("closed.usr")), QByteArray("closing\r\n"));
        QVERIFY(!w->isVisible() && !shown() && text().isEmpty() && OtchetCreated == 0.0);
    }

    void exitSavesClearsAndCloses() {
        w->hide();
        w->N20->trigger();
        type(QStringLiteral("exit"));
        dialogs::queueFileAnswer(path("exit"));
        dialogs::queueFileCancel(); // must stay unused: after "Выход" the close finds no text
        QTimer::singleShot(0, [&] { w->N5->trigger(); });
        w->showModal();
        QCOMPARE(dialogs::pendingAnswers(), 1);
        dialogs::clearAnswers();
        QCOMPARE(fileBytes(path("exit.usr")), QByteArray("exit\r\n"));
        QVERIFY(!w->isVisible() && !shown() && !modified());
    }
};

QTEST_MAIN(TestReportEditor)
#include "test_report_editor.moc"
