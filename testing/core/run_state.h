#pragma once

#include "question_order.h"

#include <QString>
#include <QVector>
#include <array>
#include <cstdint>

// The state of a test run. It exists once for the whole process (the test window's
// runState()), starts at zero and is never stored anywhere. Flags are 0.0 or 1.0.
struct RunState {
    std::int32_t questionCount = 0; // records of the bank, counted when it was opened
    // Positions 1 .. maxQuestions; [0] is unused and the one after the last is read, as 0,
    // when a one-record order is walked past its end.
    std::array<std::int32_t, questionorder::maxQuestions + 2> questionOrder{};
    std::array<std::uint8_t, questionorder::maxQuestions + 1> orderTaken{}; // draw scratch
    std::int32_t orderPosition = 0; // next position of questionOrder to consume
    std::int32_t progressCount = 0; // positions consumed; N * 10000 once the order is used up
    std::int32_t endMarker = 0;     // N * 10000
    std::int32_t currentRecord = 0; // record on screen; 0 until the first advance
    std::int32_t displayNumber = 0; // ordinal shown to the trainee
    // Records another program deleted from the bank during the run: passed over, not counted.
    std::int32_t skippedCount = 0;
    double rightCount = 0.0;
    double wrongCount = 0.0;       // wrong answers and time-outs
    std::int32_t answerNumber = 0; // option clicked, 0 for a time-out
    double chosenAnswer = 0.0;
    double correctAnswer = 0.0;
    double answerDifference = 0.0;
    double countdown = 0.0; // seconds left for the question on screen
    double finishedFlag = 0.0;
    double runStartedFlag = 0.0;
    double protocolSavedFlag = 0.0;
    double timeSettingsOpenedFlag = 0.0;
    QString headerLine;
    QString protocolFileName;
    QString dateText;
    QString timeText;
};

// Positions 1 .. questionCount of the order back to 0.
void clearQuestionOrder(RunState& s);

// Draws the order for questionCount records and starts the run's counters.
void buildQuestionOrder(RunState& s);

// Takes up the order a run drew earlier (positions 1 .. questionCount, [0] unused) and starts
// the run's counters as buildQuestionOrder does. False, changing nothing, when the order is not
// one that buildQuestionOrder could have drawn for questionCount records.
bool restoreQuestionOrder(RunState& s, const QVector<int>& order);

// Rewrites the order so that the run presents `first` (records, in the order given) before the
// others, which keep their order: a run taken up again puts the answers it already has first.
// False, changing nothing, when no order can present them so (every run presents record 1
// first and the last record last).
bool presentFirst(RunState& s, const QVector<int>& first);

// True when the answer just recorded was the last of the run: the order has been used up.
// A one-record bank presents its only record as the first question, so its first answer ends
// the run (walking its order would present that record a second time).
bool orderExhausted(const RunState& s);

// The questions the run puts: the bank's records less those passed over as deleted.
std::int32_t questionsInRun(const RunState& s);

// Chooses currentRecord: the next entry of the order, passing over record 1, which every run
// presents first.
void advanceOrder(RunState& s);

// The seconds the countdown of the question on screen, which has `allowed` seconds, has
// shown: its whole allowance before the first tick, one less with every tick after the first,
// 1 at the time-out. The protocol counts the seconds used as allowed minus these, so 0 to
// allowed - 1. Taken from the countdown itself, not from its display, which the answer-time
// window may overwrite.
double secondsShown(const RunState& s, double allowed);
