#pragma once

#include "question.h"

#include <QStringList>

// The line-based sources (GIFT, Aiken): UTF-8 text, a byte-order mark allowed.
namespace exchange {

// The source's lines without their ends. Bytes that are not UTF-8 break the source off at
// their line (in `result`) and give no lines.
QStringList sourceLines(const QByteArray& source, Result& result);

} // namespace exchange
