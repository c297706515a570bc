#include "modal_watcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

ModalWatcher::ModalWatcher() {
    m_timer.setInterval(2);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !w->isEnabled())
            continue;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            errors << box->text();
            if (onError)
                onError(box->text());
            QAbstractButton* button = box->button(QMessageBox::Ok);
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().constFirst();
            if (button)
                button->click();
            return;
        }
        if (w->objectName() == QLatin1String("vivsoobsh")) {
            auto* label = w->findChild<QLabel*>(QStringLiteral("Label1"));
            const QString text = label ? label->text() : QString();
            if (onNotice && !onNotice(text))
                return;
            notices << text;
            if (auto* ok = w->findChild<QPushButton*>(QStringLiteral("BitBtn1")))
                ok->click();
            return;
        }
    }
}
