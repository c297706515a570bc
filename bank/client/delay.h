#pragma once

#include <QObject>
#include <QTimer>
#include <QVector>
#include <functional>

// A one-shot wait of the class client: the pause before a call is sent again, or the deadline
// of a call in flight. Its handler must not throw: nothing above it in the client guards it.
// Tests switch every delay to manual (tests/support/seams): a started delay then waits until
// the test fires it, so no test waits out a pause or a deadline in real seconds.
class Delay : public QObject {
    Q_OBJECT
public:
    enum Kind { Pause, Deadline };

    Delay(QObject* parent, Kind kind, std::function<void()> handler);
    ~Delay() override;

    void start(int ms); // starts afresh when running
    void stop();
    bool active() const { return m_active; }
    int interval() const { return m_timer.interval(); }
    Kind kind() const { return m_kind; }

private:
    friend struct DelaySeam;
    void fire();

    QTimer m_timer;
    Kind m_kind;
    bool m_active = false;
    std::function<void()> m_handler;
};
