#include "error.h"
#include "guard.h"
#include "startup.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Without the database access objects start-up fails before the message loop runs.
class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void missingDatabaseDriverFailsStartup() {
        QTemporaryDir noPlugins;
        const QStringList saved = QCoreApplication::libraryPaths();
        QCoreApplication::setLibraryPaths({noPlugins.path()});
        QString message;
        try {
            createForms();
            QFAIL("start-up did not fail");
        } catch (const DatabaseError& e) {
            message = e.message();
        }
        QCoreApplication::setLibraryPaths(saved);
        QVERIFY(message.contains(QStringLiteral("SQLite")));

        QString caption, text;
        QTimer::singleShot(10, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    caption = box->windowTitle();
                    text = box->text();
                    box->button(QMessageBox::Ok)->click();
                }
        });
        showStartupFailure(QStringLiteral("EDatabaseError"), message);
        QCOMPARE(caption, QStringLiteral("Application Error"));
        QVERIFY(text.contains(QStringLiteral("EDatabaseError")));
        QVERIFY(text.contains(message));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
