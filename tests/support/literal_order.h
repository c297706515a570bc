#pragma once

#include "random.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The question order as first designed, unoptimised: each draw is compared with all n
// positions (positions after the current one still hold 0). The reference the fast builder
// is tested and measured against. Fills positions 1..n of `order` (size at least n + 1).
inline void literalOrder(std::vector<std::int32_t>& order, std::int32_t n) {
    std::fill(order.begin() + 1, order.begin() + n + 1, 0);
    for (std::int32_t i = 1; i <= n - 1; ++i) {
        bool again = true;
        while (again) {
            const std::int32_t v = rng::random(n);
            order[i] = v;
            again = v == 0;
            for (std::int32_t j = 1; j <= n && !again; ++j)
                again = j != i && order[j] == v;
        }
    }
    order[n] = n;
}
