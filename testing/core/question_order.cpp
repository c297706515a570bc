#include "question_order.h"

#include "random.h"

#include <algorithm>

namespace questionorder {

std::int64_t draw(std::span<std::int32_t> order, std::span<std::uint8_t> taken, std::int32_t n) {
    if (n <= 0 || std::size_t(n) >= order.size() || std::size_t(n) >= taken.size())
        return 0;
    std::fill_n(taken.begin(), n + 1, std::uint8_t(0));
    std::int64_t draws = 0;
    // The plain method compares a draw with positions 1 .. n except its own: the earlier ones
    // hold the numbers placed so far and the later ones still hold 0, which no accepted draw
    // equals. So "already used" is exactly "marked in taken".
    for (std::int32_t i = 1; i <= n - 1; ++i) {
        for (;;) {
            const std::int32_t v = rng::random(n);
            ++draws;
            if (v != 0 && !taken[v]) {
                order[i] = v;
                taken[v] = 1;
                break;
            }
        }
    }
    order[n] = n;
    return draws;
}

} // namespace questionorder
