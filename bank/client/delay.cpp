#include "delay.h"

#include "client_hook.h"

namespace clienthook {
bool manualDelays = false;
QVector<Delay*>& delays() {
    static QVector<Delay*> living;
    return living;
}
std::function<bool(std::string_view path, const QByteArray& body)> dropReply;
} // namespace clienthook

Delay::Delay(QObject* parent, Kind kind, std::function<void()> handler)
    : QObject(parent), m_kind(kind), m_handler(std::move(handler)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { fire(); });
    clienthook::delays().append(this);
}

Delay::~Delay() {
    clienthook::delays().removeOne(this);
}

void Delay::start(int ms) {
    m_active = true;
    m_timer.setInterval(ms);
    if (clienthook::manualDelays)
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
