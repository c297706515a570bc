#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// A window's timer: an interval, an enabled switch and a handler run inside guard().
// Enabling a stopped timer starts a fresh interval; enabling a running one changes nothing.
class Timer : public QObject {
    Q_OBJECT
public:
    Timer(QObject* parent, const QString& name, int intervalMs, bool enabled,
          std::function<void()> handler);

    void setEnabled(bool enabled);
    bool enabled() const { return m_timer.isActive(); }
    int interval() const { return m_timer.interval(); }

private:
    QTimer m_timer;
    std::function<void()> m_handler;
};
