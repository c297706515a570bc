#pragma once

#include <QQueue>
#include <QString>
#include <optional>

// What the tests' seams reach (tests/support/seams): the program itself never queues an answer.
namespace traineecodehook {
// The texts the next asks take as typed (none: cancelled), without showing the window.
QQueue<std::optional<QString>>& answers();
} // namespace traineecodehook
