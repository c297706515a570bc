#include "run_state.h"

#include <algorithm>

namespace {
void startCounters(RunState& s) {
    s.progressCount = 0;
    s.endMarker = s.questionCount * 10000;
    s.orderPosition = 1;
    s.rightCount = 0.0;
    s.wrongCount = 0.0;
    s.skippedCount = 0;
}

// The records in the order a run presents them: record 1, the drawn ones, the last one.
QVector<int> presentation(const RunState& s) {
    const std::int32_t n = s.questionCount;
    QVector<int> shown{1};
    for (std::int32_t i = 1; i < n; ++i)
        if (s.questionOrder[i] != 1)
            shown.append(s.questionOrder[i]);
    if (n > 1)
        shown.append(n);
    return shown;
}
} // namespace

void clearQuestionOrder(RunState& s) {
    const std::int32_t n = std::clamp(s.questionCount, 0, questionorder::maxQuestions);
    std::fill_n(s.questionOrder.begin() + 1, n, 0);
}

void buildQuestionOrder(RunState& s) {
    clearQuestionOrder(s);
    questionorder::draw(s.questionOrder, s.orderTaken, s.questionCount);
    startCounters(s);
}

bool restoreQuestionOrder(RunState& s, const QVector<int>& order) {
    const std::int32_t n = s.questionCount;
    if (n < 1 || n > questionorder::maxQuestions || order.size() != n + 1 || order[n] != n)
        return false;
    QVector<bool> seen(n + 1, false);
    for (std::int32_t i = 1; i < n; ++i) {
        const int v = order[i];
        if (v < 1 || v >= n || seen[v])
            return false;
        seen[v] = true;
    }
    clearQuestionOrder(s);
    for (std::int32_t i = 1; i <= n; ++i)
        s.questionOrder[i] = order[i];
    startCounters(s);
    return true;
}

bool presentFirst(RunState& s, const QVector<int>& first) {
    const std::int32_t n = s.questionCount;
    QVector<int> sequence;
    QVector<bool> placed(n + 1, false);
    for (int record : first) {
        if (record < 1 || record > n || placed[record])
            return false;
        placed[record] = true;
        sequence.append(record);
    }
    for (int record : presentation(s))
        if (!placed[record])
            sequence.append(record);
    if (n < 2)
        return true;
    if (sequence.size() != n || sequence.first() != 1 || sequence.last() != n)
        return false;
    // Presented: record 1, positions 1 .. n - 2, the 1 at n - 1 passed over, then n.
    for (std::int32_t i = 1; i <= n - 2; ++i)
        s.questionOrder[i] = sequence[i];
    s.questionOrder[n - 1] = 1;
    s.questionOrder[n] = n;
    return true;
}

std::int32_t questionsInRun(const RunState& s) {
    return s.questionCount - s.skippedCount;
}

bool orderExhausted(const RunState& s) {
    return s.progressCount == s.endMarker || s.questionCount == 1;
}

void advanceOrder(RunState& s) {
    const std::int32_t n = s.questionCount;
    if (s.orderPosition <= n) {
        for (;;) {
            s.currentRecord = s.questionOrder[s.orderPosition];
            if (s.currentRecord != 1 || s.orderPosition > n)
                break;
            ++s.orderPosition;
            ++s.progressCount;
        }
        if (s.orderPosition > n)
            s.currentRecord = s.questionOrder[n];
        ++s.orderPosition;
        ++s.progressCount;
    }
    if (s.orderPosition > n)
        s.progressCount = n * 10000;
}

double secondsShown(const RunState& s, double allowed) {
    // The countdown holds one less than it last showed.
    return std::min(allowed, s.countdown + 1.0);
}
