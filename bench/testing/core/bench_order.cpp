// Question order for a 10000-record bank: the plain method (every draw compared with all
// positions) against the fast one, and both against a loop that only makes the same draws.
// Prints its figures; the last line is "literal_ms=L fast_ms=F ratio=R" with R = fast / draws.
#include "core_seams.h"
#include "literal_order.h"
#include "question_order.h"
#include "random.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Best of `runs` timings of `work`, each from generator state 0.
template <class Work> double best(int runs, Work work) {
    double ms = 1e300;
    for (int r = 0; r < runs; ++r) {
        rng::setState(0);
        const auto start = Clock::now();
        work();
        ms = std::min(ms, msSince(start));
    }
    return ms;
}
} // namespace

int main() {
    constexpr std::int32_t n = questionorder::maxQuestions;
    std::vector<std::int32_t> literal(n + 1), fast(n + 1);
    std::vector<std::uint8_t> taken(n + 1);
    std::int64_t draws = 0;
    volatile std::int64_t sink = 0;

    const double literalMs = best(3, [&] { literalOrder(literal, n); });
    const double fastMs = best(50, [&] {
        std::fill(fast.begin() + 1, fast.end(), 0);
        draws = questionorder::draw(fast, taken, n);
    });
    const double drawsMs = best(50, [&] {
        std::int64_t sum = 0;
        for (std::int64_t d = 0; d < draws; ++d)
            sum += rng::random(n);
        sink = sink + sum;
    });

    const bool same = std::equal(literal.begin() + 1, literal.end(), fast.begin() + 1);
    std::printf("n=%d draws=%lld orders_equal=%s\n", n, static_cast<long long>(draws),
                same ? "yes" : "NO");
    std::printf("draws_only_ms=%.3f\n", drawsMs);
    std::printf("literal_ms=%.1f fast_ms=%.3f ratio=%.2f\n", literalMs, fastMs, fastMs / drawsMs);
    return same ? 0 : 1;
}
