#include "timer.h"

#include "guard.h"

Timer::Timer(QObject* parent, const QString& name, int intervalMs, bool enabled,
             std::function<void()> handler)
    : QObject(parent), m_handler(std::move(handler)) {
    setObjectName(name);
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { guard(m_handler); });
    if (enabled)
        m_timer.start();
}

void Timer::setEnabled(bool enabled) {
    if (enabled == m_timer.isActive())
        return;
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}
