#pragma once

#include "class_stats.h"

#include <QString>

// The class report as one self-contained HTML page (styles and charts inline, no scripts),
// in Russian, laid out to print on A4. Every text that comes from a protocol is escaped.
namespace results {

// `madeAt` is shown as the time the report was made.
QString htmlReport(const ClassResults& results, const QString& madeAt);

} // namespace results
