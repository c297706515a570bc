#include "database.h"

#include "log.h"

#include <atomic>
#include <boost/asio/post.hpp>
#include <chrono>
#include <memory>

namespace kvserver {
namespace {

// Each worker thread's own connection: the pool has as many threads as connections.
thread_local std::unique_ptr<PgLink> link;

// While the database is away every request would say so: once in a few seconds is enough.
void logLost(const std::string& why) {
    static std::atomic<std::int64_t> last{0};
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    std::int64_t before = last.load();
    if (now - before >= 5 && last.compare_exchange_strong(before, now))
        logLine("нет связи с базой данных: " + why);
}

} // namespace

Database::Database(std::string conninfo, int connections, int queuePerConnection)
    : m_conninfo(std::move(conninfo)), m_limit(connections * queuePerConnection),
      m_workers(std::size_t(connections)) {}

Database::~Database() {
    stop();
}

Reply Database::attempt(const Work& work) {
    if (!link)
        link = std::make_unique<PgLink>(m_conninfo);
    std::string why;
    for (int tries = 0;; ++tries) {
        try {
            return work(*link);
        } catch (const PgLost& lost) {
            if (why.empty())
                why = lost.why; // the first reason: the second try is often only held back
            if (tries == 1) {
                logLost(why);
                return replyOf(unavailable(2));
            }
        } catch (const Refused& refused) {
            return replyOf(refused.refusal());
        } catch (const std::exception& e) {
            logLine(std::string("ошибка базы данных: ") + e.what());
            return replyOf(unavailable(5));
        }
    }
}

void Database::run(Work work, std::function<void(Reply)> done) {
    if (m_queued.fetch_add(1) >= m_limit) {
        m_queued.fetch_sub(1);
        done(replyOf(unavailable(1)));
        return;
    }
    boost::asio::post(m_workers, [this, work = std::move(work), done = std::move(done)] {
        Reply reply = attempt(work);
        m_queued.fetch_sub(1);
        done(std::move(reply));
    });
}

void Database::stop() {
    m_workers.join();
}

} // namespace kvserver
