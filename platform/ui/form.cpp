#include "form.h"

#include "designer.h"

#include "guard.h"
#include "wmhints.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

namespace {
// The exit code with which a showing's own loop is ended; any other end of the loop comes
// from the application quitting.
constexpr int showingEnded = 0x6d72;

QVector<Form*>& allForms() {
    static QVector<Form*> forms;
    return forms;
}
Form* g_main = nullptr;
QVector<QPointer<Form>> g_modalStack; // every window in a modal showing, newest last
QVector<QPointer<Form>> g_shownOrder; // windows in the order they were last shown

// While something is shown modally, a click on a window it disabled (its title bar, say)
// must not leave that window on top with the modal one hidden behind it: the window
// manager lets it through, so the modal window is raised and focused again at once.
class ModalKeeper : public QObject {
public:
    static void install() {
        static ModalKeeper keeper;
        static bool installed = false;
        if (!installed && qApp) {
            qApp->installEventFilter(&keeper);
            installed = true;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::WindowActivate || !watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        Form* front = frontWindow();
        if (front && window != front && window->isWindow() && !window->isEnabled())
            QTimer::singleShot(0, front, [front] {
                if (front->isVisible() && front->isEnabled()) {
                    front->raise();
                    front->activateWindow();
                }
            });
        return false;
    }

private:
    // The modal window, or, while it is hidden (the test window during a sign-in), the
    // usable window shown last.
    static Form* frontWindow() {
        Form* top = Form::topModal();
        if (!top || top->isVisible())
            return top;
        for (qsizetype i = g_shownOrder.size() - 1; i >= 0; --i) {
            Form* form = g_shownOrder.at(i);
            if (form && form->isVisible() && form->isEnabled())
                return form;
        }
        return nullptr;
    }
};
} // namespace

struct Form::Showing {
    QEventLoop loop;
    int result = mrNone;
};

Form::Form(QWidget* parent) : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    allForms().append(this);
}

Form::~Form() {
    allForms().removeAll(this);
    if (g_main == this)
        g_main = nullptr;
}

void Form::setMainForm(Form* main) {
    g_main = main;
    if (!main)
        return;
    main->winId();
    // Only dialog-type windows keep their owner hint under X11, so that the window manager
    // holds them in front of it; the buttons each window asks for are given separately. Their
    // windows on the screen are made when they are first shown.
    for (Form* form : allForms()) {
        if (form == main)
            continue;
        const Qt::WindowFlags flags = form->windowFlags();
        if ((flags & Qt::WindowType_Mask) != Qt::Dialog)
            form->setWindowFlags((flags & ~Qt::WindowType_Mask) | Qt::Dialog);
    }
}

Form* Form::mainForm() {
    return g_main;
}

Form* Form::topModal() {
    while (!g_modalStack.isEmpty() && !g_modalStack.constLast())
        g_modalStack.removeLast();
    return g_modalStack.isEmpty() ? nullptr : g_modalStack.constLast().data();
}

QWidget* Form::makeClientArea(const QString& fontFamily, int pixelSize) {
    setFont(designer::font(fontFamily, pixelSize));
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
    if (m_showings.isEmpty())
        return;
    Showing* top = m_showings.constLast();
    top->result = result;
    if (result != mrNone)
        top->loop.exit(showingEnded);
}

int Form::showModal() {
    // The windows visible and usable now are disabled for the whole showing; windows shown
    // later stay usable. A window disabled by an earlier showing is usable for this one.
    QVector<QPointer<QWidget>> disabled;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible() && w->isEnabled()) {
            w->setEnabled(false);
            disabled.append(w);
        }
    }
    const bool wasEnabled = isEnabled();
    setEnabled(true);
    const QPointer<QWidget> raisedBy = QApplication::activeWindow();
    ModalKeeper::install();
    Showing showing;
    m_showings.append(&showing);
    g_modalStack.append(this);
    m_modalResult = mrNone;
    show();
    raise();
    activateWindow();
    for (;;) {
        if (showing.result == mrNone && showing.loop.exec() != showingEnded)
            break; // the application is quitting: the showing ends with it
        if (closeModal())
            break;
        showing.result = mrNone;
    }
    const int result = showing.result;
    m_showings.removeOne(&showing);
    g_modalStack.removeOne(this);
    if (m_showings.isEmpty())
        hide();
    else
        activateWindow(); // the showing under this one goes on
    setEnabled(wasEnabled);
    for (const auto& w : disabled)
        if (w)
            w->setEnabled(true);
    // The keyboard goes back to the window that raised this one.
    if (m_showings.isEmpty() && raisedBy && raisedBy != this && raisedBy->isVisible())
        raisedBy->activateWindow();
    m_modalResult = result;
    return result;
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
    if (isModalShowing()) {
        setModalResult(mrCancel);
        return;
    }
    if (!FormCloseQuery())
        return;
    FormClose();
    afterClose();
}

void Form::prepareForWindowManager() {
    const bool resizable = minimumSize() != maximumSize();
    if (!g_main || this == g_main) {
        wmhints::setDecorations(this, resizable);
        return;
    }
    winId();
    // A window without a title bar is a notice: in front of every window of the program.
    // Any other window stays in front of the window shown modally under it, or of the main
    // window.
    QWindow* owner = nullptr;
    if (!(windowFlags() & Qt::FramelessWindowHint)) {
        owner = g_main->windowHandle();
        for (qsizetype i = g_modalStack.size() - 1; i >= 0; --i) {
            Form* below = g_modalStack.at(i);
            if (below && below != this && below->isVisible()) {
                owner = below->windowHandle();
                break;
            }
        }
    }
    windowHandle()->setTransientParent(owner);
    wmhints::setSkipTaskbar(this);
    wmhints::setDecorations(this, resizable);
    wmhints::setTypes(this, windowTypes());
}

QStringList Form::windowTypes() const {
    const Qt::WindowFlags flags = windowFlags();
    if (flags & Qt::FramelessWindowHint)
        return {QStringLiteral("DIALOG")};
    if (flags & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint))
        return {QStringLiteral("NORMAL")};
    // Openbox puts minimise and maximise on every dialog and reads no buttons from the
    // Motif hints; of its types only the tool-bar one has the close button alone.
    static const bool openbox = wmhints::windowManagerName() == QLatin1String("Openbox");
    if (openbox)
        return {QStringLiteral("TOOLBAR"), QStringLiteral("DIALOG")};
    return {QStringLiteral("DIALOG"), QStringLiteral("NORMAL")};
}

void Form::handOverOwnedWindows() {
    // A window that hides while another it owns stays (the test window that gives way to the
    // sign-in window) hands it to its own owner, so that it keeps one in front of it.
    QWindow* next = windowHandle()->transientParent();
    if (!next && g_main && g_main != this)
        next = g_main->windowHandle();
    for (Form* form : allForms()) {
        if (form == this || !form->isVisible() || !form->windowHandle() ||
            form->windowHandle()->transientParent() != windowHandle())
            continue;
        form->windowHandle()->setTransientParent(next);
        for (Form* owner : allForms())
            if (next && owner->windowHandle() == next)
                wmhints::setTransientFor(form, owner);
    }
}

void Form::placeAtCentre() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (!testAttribute(Qt::WA_Resized))
        adjustSize();
    // The whole window, frame included, is centred, the same on every showing. Before the
    // first showing the frame is not known yet; the main window's tells its size.
    QMargins frame;
    if (!(windowFlags() & Qt::FramelessWindowHint)) {
        frame = m_frameMargins;
        if (frame.isNull() && g_main && g_main != this && g_main->isVisible())
            frame = g_main->windowHandle()->frameMargins();
    }
    const QSize outer = size().grownBy(frame);
    const QRect area = screen->availableGeometry();
    const QPoint frameTopLeft = area.center() - QPoint(outer.width() / 2, outer.height() / 2);
    setGeometry(QRect(frameTopLeft + QPoint(frame.left(), frame.top()), size()));
}

void Form::setVisible(bool visible) {
    if (visible && !isVisible()) {
        prepareForWindowManager();
        if (m_centred)
            placeAtCentre();
    }
    if (!visible && isVisible() && windowHandle()) {
        if (!windowHandle()->frameMargins().isNull())
            m_frameMargins = windowHandle()->frameMargins();
        handOverOwnedWindows();
    }
    QMainWindow::setVisible(visible);
    if (visible) {
        g_shownOrder.removeAll(this);
        g_shownOrder.removeAll(nullptr);
        g_shownOrder.append(this);
        raise();
        activateWindow();
    }
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
