#pragma once

#include "question.h"

#include <QHash>
#include <QStringList>

// What in a bank's records would misbehave in a test, by the program's own rules.
namespace exchange {

// The option a right-answer text names, read as the test window reads it (a number with the
// system's decimal separator): 1 to 4, or 0 when no option would ever count as right.
int answerNumber(const QString& prOtvet);

// Checks records one by one (a bank is walked, not loaded): `line` of each question is its
// record number, `prOtvet` its text form.
class BankChecker {
public:
    // The problems of one record, in Russian; none when it is sound.
    QStringList check(const Question& record);

private:
    QHash<QByteArray, int> m_seen; // digest of question text and picture -> first record
};

} // namespace exchange
