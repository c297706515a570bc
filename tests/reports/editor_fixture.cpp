#include "editor_fixture.h"
#include "ui_seams.h"

#include "dialogs.h"
#include "protocol_sample.h"
#include "reportprinter.h"

#include <QAction>
#include <QComboBox>
#include <QStringEncoder>
#include <QTest>

const QString reportFilter = QStringLiteral("Файлы отчётов теста|*.usr");

QByteArray cp1251(const QString& text) {
    return QStringEncoder("windows-1251").encode(text);
}

QByteArray asFile(const QString& text) {
    return cp1251(text + "\n").replace("\n", "\r\n");
}

void typeKeys(QWidget* widget, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void pick(QComboBox* box, int index) {
    box->setCurrentIndex(index > 0 ? index - 1 : 1);
    QTest::keyClick(box, index > 0 ? Qt::Key_Down : Qt::Key_Up);
}

bool EditorFixture::setUp() {
    OtchetOpened = OtchetCreated = 0.0;
    OtchetFileName.clear();
    dialogs::clearAnswers();
    reportprint::setPrinterLookup(nullptr);
    dir = std::make_unique<QTemporaryDir>();
    protocol = protocolBytes();
    if (!writeFile(path("a.usr"), protocol))
        return false;
    w = std::make_unique<TuozKontrol_otchet>();
    w->show();
    return QTest::qWaitForWindowActive(w.get());
}

void EditorFixture::tearDown() {
    w.reset();
    dir.reset();
}

void EditorFixture::open(const QString& file) {
    dialogs::queueFileAnswer(file);
    w->N2->trigger();
}

void EditorFixture::type(const QString& keys) {
    if (!w->N17->isChecked())
        w->N17->trigger();
    typeKeys(w->RichEdit1, keys);
}

bool EditorFixture::withoutDialog(const std::function<void()>& action, const QStringList& answers) {
    for (const QString& answer : answers)
        dialogs::queueFileAnswer(answer);
    dialogs::queueFileCancel();
    action();
    const bool none = dialogs::pendingAnswers() == 1;
    dialogs::clearAnswers();
    return none;
}
