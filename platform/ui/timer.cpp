#include "timer.h"

#include "guard.h"

namespace {
bool g_manual = false;
}

void Timer::setManual(bool manual) {
    g_manual = manual;
}
bool Timer::manual() {
    return g_manual;
}

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
    if (enabled && !g_manual)
        m_timer.start();
    else
        m_timer.stop();
}

void Timer::setInterval(int intervalMs) {
    m_timer.setInterval(intervalMs);
}

void Timer::fire() {
    guard(m_handler);
}
