#include "random.h"

#include "core_hook.h"

namespace corehook {
std::uint32_t rngState = 0;
}

namespace rng {

std::int32_t random(std::int32_t n) {
    std::uint32_t& state = corehook::rngState;
    state = state * 134775813u + 1u;
    return std::int32_t((std::uint64_t(state) * std::uint64_t(std::uint32_t(n))) >> 32);
}

void drawFrom(std::uint32_t start, const std::function<void()>& draws) {
    std::uint32_t& state = corehook::rngState;
    const std::uint32_t own = state;
    state = start;
    try {
        draws();
    } catch (...) {
        state = own;
        throw;
    }
    state = own;
}

std::uint32_t state() {
    return corehook::rngState;
}

} // namespace rng
