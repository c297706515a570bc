#include "delay.h"

#include <QPointer>

namespace {
bool g_manual = false;
QVector<Delay*>& all() {
    static QVector<Delay*> delays;
    return delays;
}
} // namespace

Delay::Delay(QObject* parent, Kind kind, std::function<void()> handler)
    : QObject(parent), m_kind(kind), m_handler(std::move(handler)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { fire(); });
    all().append(this);
}

Delay::~Delay() {
    all().removeOne(this);
}

void Delay::start(int ms) {
    m_active = true;
    m_timer.setInterval(ms);
    if (g_manual)
        m_timer.stop();
    else
        m_timer.start();
}

void Delay::stop() {
    m_active = false;
    m_timer.stop();
}

void Delay::fire() {
    if (!m_active)
        return;
    m_active = false;
    m_timer.stop();
    m_handler();
}

void Delay::setManual(bool manual) {
    g_manual = manual;
}

bool Delay::manual() {
    return g_manual;
}

QVector<Delay*> Delay::running(Kind kind) {
    QVector<Delay*> out;
    for (Delay* d : all())
        if (d->m_active && d->m_kind == kind)
            out.append(d);
    return out;
}

int Delay::fireAll(Kind kind) {
    QVector<QPointer<Delay>> due;
    for (Delay* d : running(kind))
        due.append(d);
    int fired = 0;
    for (const QPointer<Delay>& d : due)
        if (d && d->m_active) {
            d->fire();
            ++fired;
        }
    return fired;
}
