#pragma once

#include <QString>

// The seam of the old-format reader, for tests only: nothing here is built into the programs.
namespace jetbank {
// Another reader program and wall-time limit; an empty program restores both.
void setReader(const QString& program, int wallMilliseconds);
} // namespace jetbank
