#pragma once

// A class of simulated trainees taking runs through kviront-server's HTTPS API as the
// trainees' programs do: each trainee on a kept-alive TLS connection of its own that trusts
// only the server's certificate, each a coroutine, all of them driven by a few threads with
// asynchronous I/O. In a classroom every program runs on a machine of its own; here the class
// shares the server's cores, so it must cost them little beside the server (a thread per
// trainee would weigh the scheduler rather than the server).
// Every request is bounded in time and a refused one is retried a bounded number of times;
// every loop ends at its phase's limit.
#include <memory>
#include <string>
#include <vector>

namespace classdriver {

// What a trainee starts a run with: a sitting and one of its codes.
struct Seat {
    std::string sitting, code;
};

struct Settings {
    std::vector<int> ports;  // of 127.0.0.1; trainee i takes ports[i % size]
    std::string certificate; // PEM: the one certificate trusted
    int trainees = 1000;
    int threads = 2;
};

// A run begun in a phase: its token, the answers the server confirmed for it, its records.
struct Run {
    std::string token;
    int confirmed = 0;
    int records = 0;
};

struct Phase {
    std::vector<double> latenciesMs; // paced: an answer and the next question (or the end)
    std::vector<Run> runs;
    int confirmed = 0; // answers the server confirmed
    int inWindow = 0;  // flat out: of them, confirmed within the window
    int missing = 0;   // paced: answers a run never gave (broken off, or cut short by the limit)
    int failed = 0;    // trainees stopped by an error (each said on standard error)
    int repeated = 0;  // answers the server had already (a resend after a lost reply)
    double seconds = 0;
};

class Class {
public:
    Class(Settings settings, std::vector<Seat> seats);
    ~Class();
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;

    void addSeats(const std::vector<Seat>& seats);
    int seatsLeft() const;

    // Every trainee connects (once) and starts a run with the next seat, its first question
    // fetched: not measured. The number of trainees seated.
    int seat();
    // Every seated trainee answers its run's records one every paceMs, from starts spread
    // over one pace, and finishes the run after the last; each step timed.
    Phase paced(int paceMs, int limitSeconds);
    // Every seated trainee answers without pause for `seconds`: a run finished, the next
    // begins with the next seat. Requests under way at the end are waited for.
    Phase flatOut(int seconds, int limitSeconds);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace classdriver
