#include "database.h"

#include "log.h"

#include <boost/asio/post.hpp>
#include <memory>

namespace kvserver {
namespace {

// Each worker thread's own connection: the pool has as many threads as connections.
thread_local std::unique_ptr<PgLink> link;

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
    for (int tries = 0;; ++tries) {
        try {
            return work(*link);
        } catch (const PgLost& lost) {
            if (tries == 1) {
                logLine("нет связи с базой данных: " + lost.why);
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
