#pragma once

#include "pglink.h"
#include "reply.h"

#include <atomic>
#include <boost/asio/thread_pool.hpp>
#include <functional>
#include <string>

// The database side of the daemon: a few worker threads, each with its own connection, off the
// network threads. A request waits in a bounded queue; a full queue or a database that stays
// away is answered at once with 503, never by holding a connection open.
namespace kvserver {

class Database {
public:
    Database(std::string conninfo, int connections, int queuePerConnection);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    using Work = std::function<Reply(PgLink&)>;
    // Runs `work` on a worker with its connection (once more on a new connection if the
    // connection broke), then calls `done` with the reply, on the worker's thread.
    void run(Work work, std::function<void(Reply)> done);
    // Waits for what is queued and running, then stops the workers.
    void stop();

private:
    Reply attempt(const Work& work);

    std::string m_conninfo;
    int m_limit;
    std::atomic<int> m_queued{0};
    boost::asio::thread_pool m_workers;
};

} // namespace kvserver
