#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QVector>

class QEventLoop;

enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Base of every window. Windows are created once at start-up and then only shown and
// hidden. showModal() disables the windows visible when it starts and runs a loop of its
// own that ends on a modal result or a close, not on hide: a modal window may be hidden and
// shown again while its modal showing goes on.
class Form : public QMainWindow {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);

    int showModal();
    bool isModalShowing() const { return m_modalLoop != nullptr || m_inModal; }
    void setModalResult(int result);
    int modalResult() const { return m_modalResult; }

    // Closes as the user's close would: close query, FormClose, hide (or, while shown
    // modally, sets the modal result "cancel", which ends the modal showing).
    void closeForm();

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
    bool closeModal();

    bool m_centred = true;
    int m_modalResult = mrNone;
    bool m_inModal = false;
    QEventLoop* m_modalLoop = nullptr;
};
