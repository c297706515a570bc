#pragma once

// The order in which the program presents `records` records when its generator starts at
// `state`: record 1, the drawn ones, the last one. What the sheets and the window must show for
// a run of a sitting that gives each run its own order.
#include "core_seams.h"
#include "question_order.h"

#include <QList>
#include <cstdint>
#include <vector>

inline QList<int> orderOf(std::uint32_t state, int records) {
    std::vector<std::int32_t> order(std::size_t(records) + 1);
    std::vector<std::uint8_t> taken(std::size_t(records) + 1);
    rng::setState(state);
    questionorder::draw(order, taken, records);
    QList<int> shown{1};
    for (int i = 1; i < records; ++i)
        if (order[std::size_t(i)] != 1)
            shown << order[std::size_t(i)];
    return shown << records;
}
