#include "random.h"

namespace rng {
namespace {
std::uint32_t g_state = 0;
}

std::int32_t random(std::int32_t n) {
    g_state = g_state * 134775813u + 1u;
    return std::int32_t((std::uint64_t(g_state) * std::uint64_t(std::uint32_t(n))) >> 32);
}

std::uint32_t state() {
    return g_state;
}
void setState(std::uint32_t state) {
    g_state = state;
}

} // namespace rng
