#include "timer.h"

#include "guard.h"
#include "ui_hook.h"

bool uihook::manualTimers = false;

Timer::Timer(QObject* parent, const QString& name, int intervalMs, bool enabled,
             std::function<void()> handler)
    : QObject(parent), m_handler(std::move(handler)) {
    setObjectName(name);
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { guard(m_handler); });
    setEnabled(enabled);
}

void Timer::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled && !uihook::manualTimers)
        m_timer.start();
    else
        m_timer.stop();
}

void Timer::setInterval(int intervalMs) {
    m_timer.setInterval(intervalMs);
}
