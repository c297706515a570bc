#include "FormAbout.h"
#include "kviront.h"
#include "modal_watcher.h"
#include "startup.h"
#include "vivodsoobsh.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        createForms();
        Form1->show();
    }
    void cleanupTestCase() { destroyForms(); }

    void onlyTheMainWindowIsVisible() {
        QStringList visible;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                visible << w->objectName();
        QCOMPARE(visible, QStringList{QStringLiteral("Form1")});
        QCOMPARE(Form1->windowTitle(), QStringLiteral("Квиронт"));
        QCOMPARE(Form1->centralWidget()->size(), QSize(632, 453)); // below the menu bar
        QCOMPARE(Form1->centralWidget()->y(), Form1->MainMenu1->height());
        QCOMPARE(Form1->minimumSize(), Form1->maximumSize());
        QVERIFY(!(Form1->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void menuBarShowsControlAndAbout() {
        QStringList shown;
        for (QAction* a : Form1->MainMenu1->actions())
            if (a->isVisible())
                shown << a->text();
        QCOMPARE(shown, (QStringList{QStringLiteral("Контроль"), QStringLiteral("О программе")}));
        QStringList items;
        for (QAction* a : Form1->N3->menu()->actions())
            items << a->text();
        QCOMPARE(items, (QStringList{QStringLiteral("Тест"), QStringLiteral("Редактор"),
                                     QStringLiteral("Файлы отчета")}));
        for (QAction* a : Form1->findChildren<QAction*>())
            QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->text()));
    }

    void aboutIsModalOverTheMainWindow() {
        bool mainDisabled = false;
        QTimer::singleShot(10, [&] {
            mainDisabled = !Form1->isEnabled() && About->isVisible();
            About->close();
        });
        Form1->N4->trigger();
        QVERIFY(mainDisabled);
        QVERIFY(Form1->isEnabled());
        QVERIFY(!About->isVisible());
        QCOMPARE(About->windowTitle(), QStringLiteral("О программе"));
    }

    void controlItemsOpenTheirWindowsModally_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("window");
        QTest::newRow("Тест") << "N5"
                              << "uozKontrol";
        QTest::newRow("Редактор") << "N6"
                                  << "uozKontrol_redaktor";
        QTest::newRow("Файлы отчета") << "N7"
                                      << "uozKontrol_otchet";
    }
    void controlItemsOpenTheirWindowsModally() {
        QFETCH(QString, item);
        QFETCH(QString, window);
        ModalWatcher watcher;
        QWidget* target = nullptr;
        bool mainDisabled = false;
        QTimer::singleShot(10, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == window && w->isVisible())
                    target = w;
            mainDisabled = !Form1->isEnabled();
            if (target)
                target->close();
        });
        Form1->findChild<QAction*>(item)->trigger();
        QVERIFY(target);
        QVERIFY(mainDisabled);
        QVERIFY(!target->isVisible());
        QVERIFY(Form1->isEnabled());
        QCOMPARE(watcher.total(), 0);
    }

    void noticeWaitsForOkAndKeepsItsText() {
        ModalWatcher watcher;
        raiseNotice(QStringLiteral("Верный ответ"));
        raiseNotice(QStringLiteral("Вы не успели ответить на вопрос!"));
        QCOMPARE(watcher.notices,
                 (QStringList{QStringLiteral("Верный ответ"),
                              QStringLiteral("Вы не успели ответить на вопрос!")}));
        QCOMPARE(vivsoobsh->Label1->text(), QStringLiteral("Вы не успели ответить на вопрос!"));
        QVERIFY(!vivsoobsh->isVisible());
        QCOMPARE(vivsoobsh->size(), QSize(402, 250));
        QVERIFY(vivsoobsh->windowFlags() & Qt::FramelessWindowHint);
    }

    void noticeRaisedWhileOneIsUpGetsItsOwnOk() {
        // The answer-time window's notice is up when the countdown raises its own.
        ModalWatcher watcher;
        const QString first = QStringLiteral("Выберите один из временных интервалов !");
        const QString second = QStringLiteral("Вы не успели ответить на вопрос!");
        bool raised = false;
        watcher.onNotice = [&](const QString& text) {
            if (text == first && !raised) {
                raised = true;
                QTimer::singleShot(0, [&] { raiseNotice(second); });
                return false; // still up when the second comes
            }
            return true;
        };
        raiseNotice(first);
        QCOMPARE(watcher.notices, (QStringList{second, first}));
        QVERIFY(!vivsoobsh->isVisible());
        QVERIFY(!vivsoobsh->isModalShowing());
        QVERIFY(Form1->isEnabled());
    }

    void noticeKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Enter") << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("Space") << int(Qt::Key_Space) << true;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << false;
    }
    void noticeKeys() {
        QFETCH(int, key);
        QFETCH(bool, closes);
        bool fallbackUsed = false;
        QTimer fallback; // presses "OK" if the key did not close the notice
        fallback.setSingleShot(true);
        connect(&fallback, &QTimer::timeout, [&] {
            fallbackUsed = true;
            vivsoobsh->BitBtn1->click();
        });
        QTimer::singleShot(10, [&] {
            QTest::keyClick(vivsoobsh->BitBtn1, Qt::Key(key));
            fallback.start(50);
        });
        raiseNotice(QStringLiteral("Зарегистрируйтесь!"));
        QCOMPARE(!fallbackUsed, closes);
    }

    void longNoticeDoesNotGrowTheLabel() {
        ModalWatcher watcher;
        raiseNotice(QString(2000, QLatin1Char('x')) + QStringLiteral(" слово").repeated(300));
        QCOMPARE(vivsoobsh->Label1->size(), QSize(389, 206));
        QCOMPARE(watcher.notices.size(), 1);
    }

    // Last: closing the main window ends the message loop with code 0, without a question.
    void closingTheMainWindowEndsTheProgram() {
        ModalWatcher watcher;
        QTimer::singleShot(0, [] { Form1->close(); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(watcher.total(), 0);
        QVERIFY(!Form1->isVisible());
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
