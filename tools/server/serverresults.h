#pragma once

#include "class_stats.h"
#include "results_tool.h"

// The class report's runs from the classroom server: every run with its answers in the order
// they were given, the server's own seconds beside the trainee's.
namespace serverresults {

// Reads the runs that `options` selects (server, bank, since, sitting) into `results`, which is
// not finished, and the sitting's answer sheets when asked. One snapshot of the server; answers
// are streamed, so a year of runs is never held at once. Returns the server's name for messages
// ("host:port/database") and the sitting as the heading names it. Throws ServerError or Error
// naming the server and the reason; a bank or sitting the server does not have is such an error.
results::ServerRead read(const results::Options& options, results::ClassResults* results);

} // namespace serverresults
