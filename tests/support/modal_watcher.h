#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

// Answers the modal windows a person would answer (the message window, the error box, Qt's
// own message boxes) and records what they said. A test arms one before the action that
// raises them, then checks the texts.
class ModalWatcher : public QObject {
    Q_OBJECT
public:
    ModalWatcher();

    QStringList notices; // texts of message-window notices, in order
    QStringList errors;  // texts of error boxes, in order

    // Called while a notice is up; return false to keep it up for now (asked again later).
    std::function<bool(const QString& text)> onNotice;
    // Called while an error box is up, before it is answered.
    std::function<void(const QString& text)> onError;

    int total() const { return int(notices.size() + errors.size()); }

private:
    void poll();
    QTimer m_timer;
};
