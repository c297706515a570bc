#pragma once
// What every exchange parser promises, whatever the bytes: questions that fit a record,
// refusals on lines of the source.
#include "bitmap.h"
#include "error.h"
#include "question.h"

#include <cstdlib>

inline void checkResult(const exchange::Result& r, qsizetype size) {
    if (r.taken != r.questions.size())
        std::abort();
    for (const exchange::Question& q : r.questions) {
        const int right = q.prOtvet.toInt();
        if (right < 1 || right > 4 || q.line < 1 || q.line > size + 1)
            std::abort();
        try {
            bitmap::checkGraph(q.graph);
        } catch (const Error&) {
            std::abort(); // a picture taken must be one the program shows
        }
    }
    for (const auto* list : {&r.refusals, &r.notes})
        for (const exchange::Message& m : *list)
            if (m.line < 1 || m.line > size + 1 || m.text.isEmpty())
                std::abort();
}

// Two readings of the same questions hold the same texts and right answers.
inline void checkSame(const exchange::Result& a, const exchange::Result& b) {
    if (a.questions.size() != b.questions.size() || !b.refusals.isEmpty())
        std::abort();
    for (qsizetype i = 0; i < a.questions.size(); ++i) {
        const exchange::Question &x = a.questions[i], &y = b.questions[i];
        if (x.vopros != y.vopros || x.prOtvet.toInt() != y.prOtvet.toInt())
            std::abort();
        for (int k = 0; k < 4; ++k)
            if (x.otvet[k] != y.otvet[k])
                std::abort();
    }
}
