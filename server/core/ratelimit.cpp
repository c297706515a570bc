#include "ratelimit.h"

#include <algorithm>
#include <cmath>

namespace kvserver {

RateLimiter::RateLimiter(double burst, double perSecond, std::size_t maxKeys)
    : m_burst(std::max(1.0, burst)), m_perSecond(std::max(1e-6, perSecond)),
      m_maxKeys(std::max<std::size_t>(1, maxKeys)) {}

double RateLimiter::levelOf(const Bucket& b, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - b.at).count();
    return std::min(m_burst, b.level + std::max(0.0, seconds) * m_perSecond);
}

int RateLimiter::secondsUntilOne(double level) const {
    return std::max(1, int(std::ceil((1.0 - level) / m_perSecond)));
}

// Full buckets are the same as none: dropped first. If every key is still in use (a flood of
// keys), the table is cleared rather than grown: a flood then costs a client at most its burst.
void RateLimiter::makeRoom(Clock::time_point now) {
    for (auto it = m_buckets.begin(); it != m_buckets.end();)
        it = levelOf(it->second, now) >= m_burst ? m_buckets.erase(it) : std::next(it);
    if (m_buckets.size() >= m_maxKeys)
        m_buckets.clear();
}

int RateLimiter::take(std::string_view key, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    auto it = m_buckets.find(std::string(key));
    if (it == m_buckets.end()) {
        if (m_buckets.size() >= m_maxKeys)
            makeRoom(now);
        it = m_buckets.emplace(std::string(key), Bucket{m_burst, now}).first;
    }
    const double level = levelOf(it->second, now);
    if (level < 1.0)
        return secondsUntilOne(level);
    it->second = {level - 1.0, now};
    return 0;
}

int RateLimiter::wait(std::string_view key, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    const auto it = m_buckets.find(std::string(key));
    if (it == m_buckets.end())
        return 0;
    const double level = levelOf(it->second, now);
    return level < 1.0 ? secondsUntilOne(level) : 0;
}

std::size_t RateLimiter::keys() const {
    std::lock_guard lock(m_mutex);
    return m_buckets.size();
}

bool ConnectionCounter::enter(const std::string& address) {
    std::lock_guard lock(m_mutex);
    if (m_count >= m_total)
        return false;
    int& open = m_open[address];
    if (open >= m_perAddress)
        return false;
    ++open;
    ++m_count;
    return true;
}

void ConnectionCounter::leave(const std::string& address) {
    std::lock_guard lock(m_mutex);
    const auto it = m_open.find(address);
    if (it == m_open.end())
        return;
    --m_count;
    if (--it->second <= 0)
        m_open.erase(it);
}

int ConnectionCounter::total() const {
    std::lock_guard lock(m_mutex);
    return m_count;
}

} // namespace kvserver
