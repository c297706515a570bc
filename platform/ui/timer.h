#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// A window's timer: an interval, an enabled switch and a handler run inside guard().
// Enabling a stopped timer starts a fresh interval; enabling a running one changes nothing.
// Tests switch all timers to manual: they keep their enabled state but tick only when the
// test fires them (tests/support/seams), so no test depends on real seconds.
class Timer : public QObject {
    Q_OBJECT
public:
    Timer(QObject* parent, const QString& name, int intervalMs, bool enabled,
          std::function<void()> handler);

    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled; }
    int interval() const { return m_timer.interval(); }
    // A running timer starts a fresh interval.
    void setInterval(int intervalMs);

private:
    friend struct TimerSeam; // a test's tick (tests/support/seams)

    QTimer m_timer;
    bool m_enabled = false;
    std::function<void()> m_handler;
};
