#pragma once

// Shared steps of the test-window tests: banks made with SQLite in a temporary folder, the
// sign-in, opening a bank through the file-dialog seam, clicks on the answer fields, ticks.
#include "client_seams.h"
#include "core_seams.h"
#include "dataModule.h"
#include "dbcontrols.h"
#include "dialogs.h"
#include "formats.h"
#include "modal_watcher.h"
#include "ouz_reg.h"
#include "random.h"
#include "startup.h"
#include "timer.h"
#include "ui_seams.h"
#include "uoz_kontrol.h"
#include "uoz_kontrol_time.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sqlite3.h>

namespace fx {

// The user's home folder while the object lives: where a protocol goes that the working
// folder refuses. A home that cannot be made ("/dev/null") makes that fail too.
class Home {
public:
    explicit Home(const QString& path) : m_old(qgetenv("HOME")) { qputenv("HOME", path.toUtf8()); }
    ~Home() { qputenv("HOME", m_old); }

private:
    QByteArray m_old;
};

// The whole program as start-up makes it, with timers and the class client's pauses and
// deadlines that pass only when a test says so, and a home folder of its own (the journal of
// class-server answers included), so that no test writes into the real one.
inline void startProgram() {
    static QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("XDG_DATA_HOME");
    TimerSeam::setManual(true);
    DelaySeam::setManual(true);
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
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_exec(db,
                            "CREATE TABLE kontrol (Name INTEGER, Vopros TEXT, Otvet1 TEXT, "
                            "Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, PrOtvet TEXT, Graph BLOB);"
                            "BEGIN",
                            nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO kontrol VALUES (?, ?, ?, ?, ?, ?, ?, NULL)", -1,
                                  &insert, nullptr) == SQLITE_OK;
    int n = 0;
    for (const Question& question : questions) {
        if (!ok)
            break;
        QList<QByteArray> texts{question.vopros.toUtf8()};
        for (int k = 0; k < 4; ++k)
            texts << question.otvet.value(k).toUtf8();
        texts << question.prOtvet.toString().toUtf8();
        sqlite3_bind_int(insert, 1, ++n);
        for (int i = 0; i < texts.size(); ++i)
            sqlite3_bind_text(insert, i + 2, texts[i].constData(), int(texts[i].size()),
                              SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        qWarning() << "bank not made:" << (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close_v2(db);
    return ok ? path : QString();
}

inline void tick(Timer* timer, int times = 1) {
    for (int i = 0; i < times; ++i) {
        QVERIFY2(timer->enabled(), qPrintable(timer->objectName() + " is stopped"));
        TimerSeam::fire(timer);
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

// The notices that follow an answer.
inline const QString rightNotice = QStringLiteral("Верный ответ");
inline QString wrongNotice(const QString& stored) {
    return QStringLiteral("Неверный ответ. Верный ответ номер   ") + stored;
}

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

// One test function's surroundings: a fresh current folder and the test window reset to Idle
// at 9:05:03 on 7 December 2026, its clock ticked `clockTicks` times (from the second tick
// on it shows dashes). Going, it closes the test window, then the folder.
class RunScope : public WorkFolder {
public:
    explicit RunScope(int clockTicks = 1) {
        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        tick(uozKontrol->Timer2, clockTicks);
    }
    ~RunScope() { closeTestWindow(); }
};

// The program started for a whole test class, in a working folder of its own. Going, the
// folder goes first, then the forms.
class StartedProgram {
protected:
    StartedProgram() { startProgram(); }
    ~StartedProgram() { destroyForms(); }
};
class ProgramScope : private StartedProgram, public WorkFolder {};

} // namespace fx
