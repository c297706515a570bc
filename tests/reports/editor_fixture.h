#pragma once

#include "richedit.h"
#include "uoz_kontrol_otchet.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QComboBox;

// A fresh report editor window over a temporary folder holding the protocol "a.usr", with the
// editor's state reset, and the steps a user takes in it.
struct EditorFixture {
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TuozKontrol_otchet> w;
    QByteArray protocol; // the bytes of a.usr as created

    bool setUp();
    void tearDown();

    QString path(const QString& name) const { return dir->filePath(name); }
    QString text() const { return w->RichEdit1->text(); }
    bool shown() const { return !w->RichEdit1->isHidden(); }
    bool modified() const { return w->RichEdit1->modified(); }

    // "Открыть" answered with `file`.
    void open(const QString& file);
    // Types with editing switched on.
    void type(const QString& keys);
    // Runs an action that must show no file dialog beyond those answered with `answers`.
    bool withoutDialog(const std::function<void()>& action, const QStringList& answers = {});
};

extern const QString reportFilter;

QByteArray cp1251(const QString& text);
// The bytes of a protocol file holding `text`.
QByteArray asFile(const QString& text);
// Types text key by key; QTest::keyClicks() takes Latin-1 only.
void typeKeys(QWidget* widget, const QString& text);
// Picks an entry of a drop-down list from the keyboard, as a user would.
void pick(QComboBox* box, int index);
