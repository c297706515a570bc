#pragma once

#include "question.h"

// Aiken: the question on one or more lines, then its options labelled A) to D) (or "A.";
// Cyrillic А to Г as well), then "ANSWER: B" (or "ОТВЕТ: Б"). Blank lines between questions.
namespace exchange::aiken {

void read(const QByteArray& source, Result& result);

} // namespace exchange::aiken
