#include "dialogs.h"
#include "error.h"
#include "form.h"
#include "guard.h"
#include "modal_watcher.h"
#include "timer.h"
#include "ui_seams.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace {
class Probe : public Form {
public:
    int shows = 0;
    int closes = 0;
    bool failClose = false;
    bool allowClose = true;

protected:
    void FormShow() override { ++shows; }
    bool FormCloseQuery() override { return allowClose; }
    void FormClose() override {
        ++closes;
        if (failClose)
            throw Error(QStringLiteral("cannot close"));
    }
};

// Runs `step` on the next turn of whichever loop is running.
void later(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, step);
}
} // namespace

class TestForm : public QObject {
    Q_OBJECT
private slots:
    void errorBoxTextAddsFullStopOnlyAfterHigherCharacters() {
        QCOMPARE(errorBoxText(QStringLiteral("Bitmap image is not valid")),
                 QStringLiteral("Bitmap image is not valid."));
        QCOMPARE(errorBoxText(QStringLiteral("x 5")), QStringLiteral("x 5."));
        QCOMPARE(errorBoxText(QStringLiteral("done.")), QStringLiteral("done."));
        QCOMPARE(errorBoxText(QStringLiteral("stop!")), QStringLiteral("stop!"));
        QCOMPARE(errorBoxText(QStringLiteral("a-")), QStringLiteral("a-"));
        QCOMPARE(errorBoxText(QStringLiteral("'x' is not a valid floating point value")),
                 QStringLiteral("'x' is not a valid floating point value."));
        QCOMPARE(errorBoxText(QString()), QString());
        QCOMPARE(errorBoxText(QStringLiteral("Ошибка")), QStringLiteral("Ошибка."));
    }

    void applicationTitleRule() {
        QCOMPARE(applicationTitleFor(QStringLiteral("/usr/bin/kviront")),
                 QStringLiteral("kviront"));
        QCOMPARE(applicationTitleFor(QStringLiteral("C/KVIRONT.EXE")), QStringLiteral("Kviront"));
        QCOMPARE(applicationTitleFor(QStringLiteral("a.b.c")), QStringLiteral("a"));
    }

    void guardShowsTheErrorAndGoesOn() {
        ModalWatcher watcher;
        bool after = false;
        guard([] { throw Error(QStringLiteral("Файл не найден")); });
        after = true;
        QVERIFY(after);
        QCOMPARE(watcher.errors, QStringList{QStringLiteral("Файл не найден.")});
    }

    void hideInsideModalShowDoesNotEndIt() {
        Form owner;
        owner.show();
        Probe modal;
        QStringList steps;
        later(10, [&] {
            QVERIFY(!owner.isEnabled());
            modal.hide();
            steps << "hidden";
            later(20, [&] {
                steps << (modal.isModalShowing() ? "still modal" : "ended");
                modal.show();
                later(10, [&] { modal.closeForm(); });
            });
        });
        const int result = modal.showModal();
        QCOMPARE(result, int(mrCancel));
        QCOMPARE(steps, (QStringList{"hidden", "still modal"}));
        QCOMPARE(modal.closes, 1);
        QCOMPARE(modal.shows, 2);
        QVERIFY(!modal.isVisible());
        QVERIFY(owner.isEnabled());
    }

    void windowShownDuringModalStaysUsableAndTimersFire() {
        Form owner;
        owner.show();
        Form lateWindow;
        Probe modal;
        int ticks = 0;
        Timer timer(nullptr, QStringLiteral("Timer1"), 5, true, [&] { ++ticks; });
        later(5, [&] {
            lateWindow.show();
            later(30, [&] {
                QVERIFY(lateWindow.isEnabled());
                QVERIFY(!owner.isEnabled());
                modal.setModalResult(mrOk);
            });
        });
        QCOMPARE(modal.showModal(), int(mrOk));
        QVERIFY(ticks >= 2);
        QVERIFY(owner.isEnabled());
        QVERIFY(lateWindow.isEnabled());
    }

    void nestedModalRestoresOnlyWhatItDisabled() {
        Form owner;
        owner.show();
        Probe outer;
        Probe inner;
        later(5, [&] {
            later(5, [&] {
                QVERIFY(!outer.isEnabled());
                QVERIFY(!owner.isEnabled());
                inner.closeForm();
            });
            inner.showModal();
            QVERIFY(outer.isEnabled());
            QVERIFY(!owner.isEnabled()); // still disabled by the outer showing
            outer.closeForm();
        });
        outer.showModal();
        QVERIFY(owner.isEnabled());
    }

    void nestedShowingsOfOneWindowEachEndOnTheirOwn() {
        // A timer handler shows the window that is already shown modally again: the newer
        // showing takes the first close, the older one goes on and takes the second.
        Form owner;
        owner.show();
        Probe modal;
        Form lateWindow;
        QStringList steps;
        later(5, [&] {
            lateWindow.show(); // shown during the showing: usable, until the inner showing
            later(5, [&] {
                QCOMPARE(modal.modalDepth(), 2);
                QVERIFY(!lateWindow.isEnabled() && !owner.isEnabled() && modal.isEnabled());
                modal.closeForm();
            });
            steps << QStringLiteral("inner %1").arg(modal.showModal());
            QVERIFY(modal.isVisible());
            QCOMPARE(modal.modalDepth(), 1);
            QVERIFY(lateWindow.isEnabled());
            QVERIFY(!owner.isEnabled());
            later(5, [&] { modal.closeForm(); });
        });
        steps << QStringLiteral("outer %1").arg(modal.showModal());
        QCOMPARE(steps, (QStringList{"inner 2", "outer 2"}));
        QCOMPARE(modal.closes, 2);
        QVERIFY(!modal.isVisible());
        QVERIFY(owner.isEnabled());
        QVERIFY(lateWindow.isEnabled());
    }

    void windowDisabledByAnotherShowingCanBeShownModallyAgain() {
        Form owner;
        owner.show();
        Probe first;
        Probe second;
        later(5, [&] {
            later(5, [&] {
                later(5, [&] {
                    QVERIFY(first.isEnabled());
                    QVERIFY(!second.isEnabled());
                    first.closeForm();
                });
                first.showModal(); // `first` is disabled by the showing of `second`
                QVERIFY(!first.isEnabled());
                QVERIFY(second.isEnabled());
                second.closeForm();
            });
            second.showModal();
            QVERIFY(first.isEnabled());
            first.closeForm();
        });
        first.showModal();
        QVERIFY(!first.isModalShowing() && !second.isModalShowing());
        for (QWidget* w : {static_cast<QWidget*>(&owner), static_cast<QWidget*>(&first),
                           static_cast<QWidget*>(&second)})
            QVERIFY(w->isEnabled());
        QVERIFY(!first.isVisible() && !second.isVisible());
    }

    void failingCloseKeepsTheWindowOpen() {
        ModalWatcher watcher;
        Probe modal;
        modal.failClose = true;
        later(5, [&] {
            modal.closeForm();
            later(30, [&] {
                QVERIFY(modal.isVisible());
                modal.failClose = false;
                modal.closeForm();
            });
        });
        modal.showModal();
        QCOMPARE(modal.closes, 2);
        QCOMPARE(watcher.errors, QStringList{QStringLiteral("cannot close.")});
    }

    void closeQueryCanRefuse() {
        Probe window;
        window.show();
        window.allowClose = false;
        window.closeForm();
        QVERIFY(window.isVisible());
        window.allowClose = true;
        window.close(); // the window system's close goes the same way
        QVERIFY(!window.isVisible());
        QCOMPARE(window.closes, 1);
    }

    void manualTimersTickOnlyWhenFired() {
        TimerSeam::setManual(true);
        int ticks = 0;
        Timer timer(nullptr, QStringLiteral("Timer3"), 1, true, [&] {
            ++ticks;
            throw Error(QStringLiteral("tick failed"));
        });
        QVERIFY(timer.enabled());
        QTest::qWait(20);
        QCOMPARE(ticks, 0);
        ModalWatcher watcher;
        TimerSeam::fire(&timer); // an error in a tick is shown, not thrown
        QCOMPARE(ticks, 1);
        QCOMPARE(watcher.errors, QStringList{QStringLiteral("tick failed.")});
        timer.setEnabled(false);
        QVERIFY(!timer.enabled());
        TimerSeam::setManual(false);
    }

    void fileDialogSeam() {
        dialogs::FileDialog dlg(dialogs::FileDialog::Open);
        dlg.filter = QStringLiteral("Файлы базы данных|*.mdb");
        dialogs::queueFileAnswer(QStringLiteral("/tmp/a.mdb"));
        dialogs::queueFileCancel();
        QVERIFY(dlg.execute(nullptr));
        QCOMPARE(dlg.fileName, QStringLiteral("/tmp/a.mdb"));
        QVERIFY(!dlg.execute(nullptr));
        QCOMPARE(dlg.fileName, QStringLiteral("/tmp/a.mdb")); // a cancel keeps the last name
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QCOMPARE(dialogs::lastFilter(), QStringLiteral("Файлы базы данных|*.mdb"));
        QCOMPARE(dialogs::toQtFilter(dlg.filter), QStringLiteral("Файлы базы данных (*.mdb)"));
    }

    // Last: quitting leaves the thread's loops ending at once until the next exec().
    void showingsEndWhenTheApplicationQuits() {
        Form owner;
        owner.show();
        Probe outer;
        Probe inner;
        int innerResult = -1;
        later(5, [&] {
            later(5, [] { QCoreApplication::exit(0); });
            innerResult = inner.showModal();
        });
        outer.showModal();
        QCOMPARE(innerResult, int(mrNone));
        QVERIFY(!outer.isModalShowing() && !inner.isModalShowing());
        QVERIFY(!outer.isVisible() && !inner.isVisible());
        QVERIFY(owner.isEnabled());
        QCOMPARE(outer.closes + inner.closes, 0); // the program ends; nothing is asked
        outer.showModal();                        // while quitting, a showing ends at once
        QVERIFY(!outer.isVisible());
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec(); // leaves the quitting state for whatever runs next
    }
};

QTEST_MAIN(TestForm)
#include "test_form.moc"
