#pragma once

#include "class_stats.h"

#include <QString>

// Inline SVG bar charts for the HTML report: no scripts, no external files, sized to fit the
// width of an A4 page.
namespace results {

// Finished runs per score band: 0–9 %, 10–19 %, …, 90–100 %.
QString scoreChart(const ClassResults& results);
// Finished runs per grade: 5, 4, 3, 2.
QString gradeChart(const ClassResults& results);
// Difficulty of every question in report order, with the thresholds of the verdicts.
QString difficultyChart(const ClassResults& results);

} // namespace results
