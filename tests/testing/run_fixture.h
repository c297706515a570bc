#pragma once

// Shared steps of the test-window tests: banks made with Qt Sql in a temporary folder, the
// sign-in, opening a bank through the file-dialog seam, clicks on the answer fields, ticks.
#include "dataModule.h"
#include "dbcontrols.h"
#include "dialogs.h"
#include "formats.h"
#include "modal_watcher.h"
#include "ouz_reg.h"
#include "random.h"
#include "startup.h"
#include "timer.h"
#include "uoz_kontrol.h"
#include "uoz_kontrol_time.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace fx {

// The whole program as start-up makes it, with timers that tick only when a test says so.
inline void startProgram() {
    Timer::setManual(true);
    createForms();
}

// A fresh working folder, current while the object lives: protocols go to the current folder.
class WorkFolder {
public:
    WorkFolder() : m_home(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~WorkFolder() { QDir::setCurrent(m_home); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QString m_home;
    QTemporaryDir m_dir;
};

// Closes the test window as the user would, answering whatever it raises.
inline void closeTestWindow() {
    ModalWatcher watcher;
    if (uozKontrol->isVisible())
        uozKontrol->closeForm();
}

struct Question {
    QString vopros;
    QStringList otvet; // four options
    QVariant prOtvet;
};

inline Question question(int n, const QVariant& prOtvet) {
    return {QStringLiteral("Вопрос %1").arg(n),
            {QStringLiteral("Ответ %1.1").arg(n), QStringLiteral("Ответ %1.2").arg(n),
             QStringLiteral("Ответ %1.3").arg(n), QStringLiteral("Ответ %1.4").arg(n)},
            prOtvet};
}

// A bank file with table kontrol; PrOtvet is kept as text, so "02" stays "02".
inline QString makeBank(const QString& path, const QList<Question>& questions) {
    const QString connection = QStringLiteral("fixture-%1").arg(quintptr(&questions));
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        ok = ok && q.exec(QStringLiteral(
                       "CREATE TABLE kontrol (Name INTEGER, Vopros TEXT, Otvet1 TEXT, Otvet2 TEXT, "
                       "Otvet3 TEXT, Otvet4 TEXT, PrOtvet TEXT, Graph BLOB)"));
        ok = ok && db.transaction();
        ok = ok &&
             q.prepare(QStringLiteral("INSERT INTO kontrol VALUES (?, ?, ?, ?, ?, ?, ?, NULL)"));
        int n = 0;
        for (const Question& question : questions) {
            q.addBindValue(++n);
            q.addBindValue(question.vopros);
            for (int k = 0; k < 4; ++k)
                q.addBindValue(question.otvet.value(k));
            q.addBindValue(question.prOtvet.toString());
            ok = ok && q.exec();
        }
        ok = ok && db.commit();
        if (!ok)
            qWarning() << "bank not made:" << q.lastError().text() << db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok ? path : QString();
}

inline void tick(Timer* timer, int times = 1) {
    for (int i = 0; i < times; ++i) {
        QVERIFY2(timer->enabled(), qPrintable(timer->objectName() + " is stopped"));
        timer->fire();
    }
}

// Returns the test window to Idle and every process-wide setting to a known state.
inline void resetAll(const QDateTime& when) {
    if (uozKontrol->isVisible())
        uozKontrol->closeForm();
    FormReg->hide();
    uozKontrol_Time->hide();
    formats::resetFromHostLocale();
    formats::settings().longTimeFormat = QStringLiteral("h:mm:ss");
    clock_::setFixed(when);
    rng::setState(0);
    uozKontrol_Time->Edit4->setText(QStringLiteral("35"));
    uozKontrol->show();
}

// Types into an edit key by key; QTest::keyClicks knows Latin letters only.
inline void typeText(QWidget* edit, const QString& text) {
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

inline void signIn(const QString& name) {
    uozKontrol->N4->trigger();
    typeText(FormReg->Edit1, name);
    QTest::mouseClick(FormReg->Button1, Qt::LeftButton);
}

inline void openBank(const QString& path) {
    dialogs::queueFileAnswer(path);
    uozKontrol->N8->trigger();
    QCOMPARE(dialogs::pendingAnswers(), 0);
}

inline DBMemo* option(int k) {
    DBMemo* fields[4] = {uozKontrol->DBMemo_Otv1, uozKontrol->DBMemo_Otv2, uozKontrol->DBMemo_Otv3,
                         uozKontrol->DBMemo_Otv4};
    return fields[k - 1];
}

inline void clickAnswer(int k) {
    QTest::mouseClick(option(k)->viewport(), Qt::LeftButton);
}

inline bool answerFieldsEnabled() {
    return option(1)->isEnabled() && option(2)->isEnabled() && option(3)->isEnabled() &&
           option(4)->isEnabled();
}

inline bool answerFieldsDisabled() {
    return !option(1)->isEnabled() && !option(2)->isEnabled() && !option(3)->isEnabled() &&
           !option(4)->isEnabled();
}

// "N8 N9 N3 N4" with a minus for a disabled item, e.g. "-N8 +N9 -N3 -N4".
inline QString menuState() {
    auto item = [](QAction* a) { return (a->isEnabled() ? "+" : "-") + a->objectName(); };
    return QStringList{item(uozKontrol->N8), item(uozKontrol->N9), item(uozKontrol->N3),
                       item(uozKontrol->N4)}
        .join(QLatin1Char(' '));
}
inline const QString idle = QStringLiteral("-N8 -N9 +N3 +N4");
inline const QString ready = QStringLiteral("+N8 -N9 +N3 +N4");
inline const QString running = QStringLiteral("-N8 +N9 -N3 -N4");

inline QByteArray cp1251Lines(const QStringList& lines) {
    QStringEncoder encoder("windows-1251");
    return encoder(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString readText(const QString& path) {
    QStringDecoder decoder("windows-1251");
    return decoder(readFile(path));
}

inline QStringList protocolFiles() {
    return QDir::current().entryList({QStringLiteral("*.usr")}, QDir::Files | QDir::Hidden,
                                     QDir::Name);
}

inline QString separator() {
    return QStringLiteral("\\\\") + QString(63, QLatin1Char('-'));
}

} // namespace fx
