#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// Bounds on what one client may ask of the server: a token bucket per key (a code, a run, an
// address) and a count of open connections per address. Both keep a bounded number of keys,
// so a flood of made-up keys cannot grow them without end. Thread-safe.
namespace kvserver {

using Clock = std::chrono::steady_clock;

class RateLimiter {
public:
    // `burst` requests at once, then `perSecond` on average.
    RateLimiter(double burst, double perSecond, std::size_t maxKeys = 100000);

    // Takes one request for `key`: 0 when it may go, otherwise the whole seconds to wait.
    int take(std::string_view key, Clock::time_point now = Clock::now());
    // The seconds to wait before `key` may go again, without taking anything (0: it may).
    int wait(std::string_view key, Clock::time_point now = Clock::now());
    std::size_t keys() const;

private:
    struct Bucket {
        double level;
        Clock::time_point at;
    };
    double levelOf(const Bucket& bucket, Clock::time_point now) const;
    int secondsUntilOne(double level) const;
    void makeRoom(Clock::time_point now);

    const double m_burst, m_perSecond;
    const std::size_t m_maxKeys;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Bucket> m_buckets;
};

class ConnectionCounter {
public:
    ConnectionCounter(int perAddress, int total) : m_perAddress(perAddress), m_total(total) {}
    // Counts a new connection from `address`; false (nothing counted) when over a bound.
    bool enter(const std::string& address);
    void leave(const std::string& address);
    int total() const;

private:
    const int m_perAddress, m_total;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, int> m_open;
    int m_count = 0;
};

} // namespace kvserver
