#include "form.h"

#include "guard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>

Form::Form(QWidget* parent) : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
}

QWidget* Form::makeClientArea(const QString& fontFamily, int pixelSize) {
    QFont font(fontFamily);
    font.setPixelSize(pixelSize);
    setFont(font);
    auto* client = new QWidget(this);
    setCentralWidget(client);
    return client;
}

void Form::setFixedClientSize(int width, int height) {
    auto* central = centralWidget();
    if (central)
        central->setFixedSize(width, height);
    const int menuHeight = menuWidget() ? menuWidget()->sizeHint().height() : 0;
    setFixedSize(width, height + menuHeight);
}

void Form::setModalResult(int result) {
    m_modalResult = result;
    if (result != mrNone && m_modalLoop)
        m_modalLoop->exit();
}

int Form::showModal() {
    // The windows visible and usable now are disabled for the whole showing; windows shown
    // later stay usable.
    QVector<QPointer<QWidget>> disabled;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible() && w->isEnabled()) {
            w->setEnabled(false);
            disabled.append(w);
        }
    }
    m_modalResult = mrNone;
    m_inModal = true;
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    for (;;) {
        if (m_modalResult == mrNone) {
            m_modalLoop = &loop;
            loop.exec();
            m_modalLoop = nullptr;
        }
        if (m_modalResult == mrNone)
            continue; // the loop was ended from outside; keep showing
        if (closeModal())
            break;
        m_modalResult = mrNone;
    }
    m_inModal = false;
    hide();
    for (const auto& w : disabled)
        if (w)
            w->setEnabled(true);
    return m_modalResult;
}

bool Form::closeModal() {
    // An error in the close handlers keeps the window open and is shown in the error box.
    bool closed = false;
    guard([&] {
        if (!FormCloseQuery())
            return;
        FormClose();
        closed = true;
    });
    return closed;
}

void Form::closeForm() {
    if (m_inModal) {
        setModalResult(mrCancel);
        return;
    }
    if (!FormCloseQuery())
        return;
    FormClose();
    afterClose();
}

void Form::setVisible(bool visible) {
    if (visible && !isVisible() && m_centred) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            const QSize size = this->size();
            move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        }
    }
    QMainWindow::setVisible(visible);
}

void Form::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        guard([this] { FormShow(); });
}

void Form::closeEvent(QCloseEvent* event) {
    // We hide ourselves; Qt must not. A disabled window ignores the user's close.
    event->ignore();
    if (!isEnabled() && event->spontaneous())
        return;
    guard([this] { closeForm(); });
}
