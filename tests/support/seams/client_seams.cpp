#include "client_seams.h"

#include "client_hook.h"

#include <QPointer>

void DelaySeam::setManual(bool manual) {
    clienthook::manualDelays = manual;
}

bool DelaySeam::manual() {
    return clienthook::manualDelays;
}

void DelaySeam::fire(Delay* delay) {
    delay->fire();
}

QVector<Delay*> DelaySeam::running(Delay::Kind kind) {
    QVector<Delay*> out;
    for (Delay* d : clienthook::delays())
        if (d->m_active && d->m_kind == kind)
            out.append(d);
    return out;
}

int DelaySeam::fireAll(Delay::Kind kind) {
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

namespace classclient {
void setReplyFilter(ReplyFilter filter) {
    clienthook::dropReply = std::move(filter);
}
} // namespace classclient
