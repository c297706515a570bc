#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QVector>

enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Base of every window. Windows are created once at start-up and then only shown and
// hidden. showModal() disables the windows visible when it starts and runs a loop of its
// own that ends on a modal result or a close, not on hide: a modal window may be hidden and
// shown again while its modal showing goes on.
//
// Showings nest: a window may be shown modally again while it is already showing (a second
// notice raised on the message window); the newest showing takes the next result, and the
// one under it goes on when it ends. Every showing ends when the application quits.
class Form : public QMainWindow {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    int showModal();
    bool isModalShowing() const { return !m_showings.isEmpty(); }
    int modalDepth() const { return int(m_showings.size()); }
    void setModalResult(int result);
    int modalResult() const { return m_modalResult; }

    // Closes as the user's close would: close query, FormClose, hide (or, while shown
    // modally, sets the modal result "cancel", which ends the modal showing).
    void closeForm();

    // The window that owns the taskbar entry. Every other window is tied to it: a dialog-type
    // window in front of the window that showed it, without a taskbar entry of its own.
    static void setMainForm(Form* main);
    static Form* mainForm();
    // The window currently shown modally on top of all others, or nullptr.
    static Form* topModal();

protected:
    virtual void FormShow() {}
    virtual bool FormCloseQuery() { return true; }
    virtual void FormClose() {}
    // After FormClose of a window that is not shown modally; hides it by default.
    virtual void afterClose() { hide(); }

    void setVisible(bool visible) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // The window's default font and the client-area widget that holds its controls.
    QWidget* makeClientArea(const QString& fontFamily, int pixelSize);
    // Fixed client size and the client-area widget (below the menu bar).
    void setFixedClientSize(int width, int height);
    // Centred on the screen each time the window is shown (the default).
    void setCentred(bool centred) { m_centred = centred; }

private:
    struct Showing;
    bool closeModal();
    void placeAtCentre();
    void prepareForWindowManager();
    void handOverOwnedWindows();
    QStringList windowTypes() const;

    bool m_centred = true;
    QMargins m_frameMargins; // as the window manager framed the last showing
    int m_modalResult = mrNone;
    QVector<Showing*> m_showings;
};
