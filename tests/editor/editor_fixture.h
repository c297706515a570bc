#pragma once

// Shared steps of the question-editor tests: the whole program as start-up makes it, banks
// made fresh in a temporary folder, the editor's window driven as a user drives it, and the
// bank file read back behind the program's back.
#include "bankfixture.h"
#include "dataModule.h"
#include "dbcontrols.h"
#include "dbnavigator.h"
#include "dialogs.h"
#include "modal_watcher.h"
#include "startup.h"
#include "timer.h"
#include "ui_seams.h"
#include "uoz_kontrol_redaktor.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <sqlite3.h>

namespace ed {

inline TuozKontrol_redaktor* w() {
    return uozKontrol_redaktor;
}
inline ADOTable* table() {
    return DataModule1->ADOTableControl;
}

// The text a control shows (a record's text may not be laid out yet).
inline QString shown(const DataTextControl* control) {
    return control->shownText();
}

// The navigator's buttons as letters, a dot for a disabled one: "FPNL+-ECXR" all enabled.
inline QString navigator() {
    const QString letters = QStringLiteral("FPNL+-ECXR");
    QString state;
    for (int i = 0; i < DBNavigator::buttonCount; ++i)
        state += w()->DBNavigator1->button(DBNavigator::Button(i))->isEnabled() ? letters[i]
                                                                                : QLatin1Char('.');
    return state;
}

inline void click(DBNavigator::Button which) {
    QTest::mouseClick(w()->DBNavigator1->button(which), Qt::LeftButton);
    QApplication::processEvents(); // the record's texts reach the controls
}

// "Открыть БД" answered with `path` (an empty path: the dialog is cancelled).
inline void openBank(const QString& path) {
    if (path.isEmpty())
        dialogs::queueFileCancel();
    else
        dialogs::queueFileAnswer(path);
    w()->N6->trigger();
    QCOMPARE(dialogs::pendingAnswers(), 0);
    QApplication::processEvents();
}

// Types key by key; QTest::keyClicks knows Latin letters only.
inline void type(QWidget* widget, const QString& text) {
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

inline void key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(widget, key, modifiers);
}

// One column of the bank's table in stored order, read with a connection of its own; NULL
// reads as "<null>".
inline QStringList stored(const QString& path, const QString& field) {
    QStringList values;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = "SELECT " + field.toUtf8() + " FROM kontrol ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK)
        while (sqlite3_step(stmt) == SQLITE_ROW)
            values << (sqlite3_column_type(stmt, 0) == SQLITE_NULL
                           ? QStringLiteral("<null>")
                           : QString::fromUtf8(
                                 reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return values;
}

inline QByteArray storedBytes(const QString& path, int rowIndex, const QString& field) {
    QByteArray bytes;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = "SELECT " + field.toUtf8() + " FROM kontrol ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK)
        for (int i = 0; sqlite3_step(stmt) == SQLITE_ROW; ++i)
            if (i == rowIndex)
                bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                                   sqlite3_column_bytes(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return bytes;
}

// The program as start-up makes it, the editor shown (not modally: the test drives it).
inline void startProgram() {
    TimerSeam::setManual(true);
    createForms();
}

inline void showEditor() {
    dialogs::clearAnswers();
    w()->show();
    QApplication::setActiveWindow(w()); // focus moves as it does on a desktop
    QApplication::processEvents();      // records' texts reach the controls
}

// Closes the editor as the user would; whatever it raises is answered.
inline void closeEditor() {
    ModalWatcher watcher;
    if (w()->isVisible())
        w()->close();
    if (w()->isVisible()) { // a refused write kept it open: discard and close
        table()->cancel();
        w()->close();
    }
    dialogs::clearAnswers();
}

} // namespace ed
