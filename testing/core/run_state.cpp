#include "run_state.h"

#include <algorithm>

void clearQuestionOrder(RunState& s) {
    const std::int32_t n = std::clamp(s.questionCount, 0, questionorder::maxQuestions);
    std::fill_n(s.questionOrder.begin() + 1, n, 0);
}

void buildQuestionOrder(RunState& s) {
    clearQuestionOrder(s);
    questionorder::draw(s.questionOrder, s.orderTaken, s.questionCount);
    s.progressCount = 0;
    s.endMarker = s.questionCount * 10000;
    s.orderPosition = 1;
    s.rightCount = 0.0;
    s.wrongCount = 0.0;
    s.skippedCount = 0;
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
