#include "error.h"
#include "guard.h"
#include "startup.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <sqlite3.h>

namespace {
// The SQLite library with an allocator that cannot start: the engine fails as a broken
// installation would, and comes back whole afterwards.
class BrokenEngine {
public:
    BrokenEngine() {
        sqlite3_initialize(); // the default allocator in place, to be kept and restored
        sqlite3_shutdown();
        sqlite3_config(SQLITE_CONFIG_GETMALLOC, &m_saved);
        sqlite3_mem_methods broken = m_saved;
        broken.xInit = [](void*) { return SQLITE_NOMEM; };
        sqlite3_config(SQLITE_CONFIG_MALLOC, &broken);
    }
    ~BrokenEngine() {
        sqlite3_shutdown();
        sqlite3_config(SQLITE_CONFIG_MALLOC, &m_saved);
    }

private:
    sqlite3_mem_methods m_saved{};
};
} // namespace

// Without a working database engine start-up fails before the message loop runs.
class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void brokenDatabaseEngineFailsStartup() {
        QString message;
        {
            BrokenEngine broken;
            try {
                createForms();
                QFAIL("start-up did not fail");
            } catch (const DatabaseError& e) {
                message = e.message();
            }
        }
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
