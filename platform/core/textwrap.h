#pragma once

#include <QString>

// How a text control may break the lines of a text.
namespace textwrap {

// True when the text holds a run of more than a thousand characters without a blank. Such a
// text must wrap anywhere: to break at word boundaries Qt looks for the end of the run for
// every line it lays out, which takes time that grows with the square of the run's length
// (a minute and more for a million characters).
bool needsWrapAnywhere(const QString& text);

} // namespace textwrap
