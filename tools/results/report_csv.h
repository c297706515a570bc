#pragma once

#include "class_stats.h"

#include <QByteArray>

// The class table and the question analysis as CSV for spreadsheets: UTF-8 with a byte-order
// mark, ";" between fields, decimal commas, CR LF after every row.
namespace results {

QByteArray classCsv(const ClassResults& results);
QByteArray questionsCsv(const ClassResults& results);

} // namespace results
