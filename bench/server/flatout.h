#pragma once

// A class answering flat out, driven as pgbench drives its clients: a few threads, each keeping
// its share of the trainees' connections busy through libpq's asynchronous calls. In a
// classroom every trainee's program runs on a machine of its own; here the whole class shares
// the server's cores, so the simulated class must cost them no more than pgbench does, or the
// ratio would weigh the clients rather than the server. Every call is the program's own SQL
// text (traineecalls.h), sent as the program sends it: an unnamed statement with parameters.
#include <string>
#include <vector>

namespace flatout {

struct Settings {
    std::string conninfo; // the trainee role's
    int trainees = 300;   // a connection each
    int questions = 30;   // records of the bank: a run answers them all, then the next begins
    int threads = 2;
    int seconds = 10;      // of answering, counted from when every trainee has connected
    int limitSeconds = 60; // beyond the window: calls still under way are waited for this long
};

struct Result {
    int inWindow = 0;  // answers confirmed within the window: the throughput
    int confirmed = 0; // all answers the server confirmed, some after the window
    int missing = 0;   // answers a broken-off run never gave (each break is reported)
    int failed = 0;    // trainees stopped by an error
    double seconds = 0;
    std::vector<std::string> tokens; // every run begun
};

Result run(const Settings& settings);

} // namespace flatout
