#pragma once

#include "question.h"

// GIFT, its multiple-choice part: questions separated by blank lines,
//   ::title::[html]question text { =right answer ~wrong answer #feedback ~... }
// "//" comment lines and "$CATEGORY:" lines are passed over; \: \# \= \{ \} \~ \\ stand for
// the character itself and \n for a line break. Text after the answers makes a
// missing-word question ("text _____ more text"). Other kinds of question are refused.
namespace exchange::gift {

void read(const QByteArray& source, Result& result);

} // namespace exchange::gift
