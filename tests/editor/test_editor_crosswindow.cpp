// The editor shown from the main window, and a change made in it seen by a test run.
#include "editor_fixture.h"
#include "kviront.h"

#include "run_fixture.h"

#include <QTimer>

class TestEditorCrossWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { fx::startProgram(); }
    void cleanupTestCase() { destroyForms(); }

    void testRunFollowsTheAnswerChangedInTheEditor() {
        fx::WorkFolder dir;
        const QString path =
            fx::makeBank(dir.filePath(QStringLiteral("one.mdb")), {fx::question(1, 1)});
        Form1->show();
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            ran = uozKontrol_redaktor->isModalShowing() && !Form1->isEnabled();
            ed::openBank(path);
            QLineEdit* edit = uozKontrol_redaktor->DBEdit_Otvet_prav;
            edit->selectAll();
            ed::type(edit, QStringLiteral("2"));
            uozKontrol_redaktor->N5->trigger(); // "Выход": the change is written first
        });
        Form1->N6->trigger(); // "Контроль" → "Редактор", modally
        QVERIFY(ran);
        QVERIFY(!uozKontrol_redaktor->isVisible());
        QVERIFY(!DataModule1->ADOTableControl->active());
        QCOMPARE(ed::stored(path, QStringLiteral("PrOtvet")), QStringList{"2"});

        fx::resetAll(QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)));
        fx::signIn(QStringLiteral("Петров"));
        ModalWatcher watcher;
        fx::openBank(path);
        fx::clickAnswer(2); // right by the new value, wrong by the old
        QTRY_VERIFY(!watcher.notices.isEmpty());
        QCOMPARE(watcher.notices[0], QStringLiteral("Верный ответ"));
        fx::closeTestWindow();
    }

    // Once the editor's controls are bound, the test window requires their fields too.
    void testWindowRequiresTheEditorsFields() {
        fx::WorkFolder dir;
        const QString path = dir.filePath(QStringLiteral("noname.mdb"));
        fixture::sql(path, QStringLiteral("CREATE TABLE kontrol (Vopros TEXT, Otvet1 TEXT, "
                                          "Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, PrOtvet TEXT, "
                                          "Graph BLOB); INSERT INTO kontrol (PrOtvet) VALUES (1)"));
        fx::resetAll(QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)));
        fx::signIn(QStringLiteral("Петров"));
        ModalWatcher watcher;
        fx::openBank(path);
        QTRY_COMPARE(watcher.errors,
                     QStringList{QStringLiteral("DBEdit1: Field 'Name' not found.")});
        QVERIFY(!DataModule1->ADOTableControl->active());
        fx::closeTestWindow();
    }
};

QTEST_MAIN(TestEditorCrossWindow)
#include "test_editor_crosswindow.moc"
