#include "core_seams.h"

namespace clock_ {

void setFixed(const QDateTime& when) {
    corehook::fixedNow = when;
}

void advance(qint64 msecs) {
    if (corehook::fixedNow)
        corehook::fixedNow = corehook::fixedNow->addMSecs(msecs);
}

void useSystem() {
    corehook::fixedNow.reset();
}

} // namespace clock_

void rng::setState(std::uint32_t state) {
    corehook::rngState = state;
}

void textfile::setWriteCall(WriteCall call) {
    corehook::writeCall = call;
}
