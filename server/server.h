#pragma once

#include "api.h"
#include "classpage.h"
#include "config.h"
#include "database.h"
#include "ratelimit.h"

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace kvserver {

class Session;

class StartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error; // a Russian message, UTF-8
};

// The daemon: the listening socket, the TLS context, the API and its database workers.
// SIGTERM (or SIGINT) stops it: no new connection is taken, connections waiting for a request
// are closed, requests in flight are answered (for at most drain_timeout seconds), then it
// exits. It keeps no state of any request: several behind a TCP balancer serve one database.
class Server {
public:
    explicit Server(const Config& config); // throws StartError
    ~Server();

    // Listens, says "port=N" on standard output, serves until a stop signal. Throws StartError.
    void run();

    const Config& config() const { return m_config; }
    boost::asio::ssl::context& tls() { return m_tls; }
    Api& api() { return *m_api; }
    ClassPage& classPage() { return *m_classPage; }
    bool draining() const { return m_draining; }

    void opened(Session* session, std::weak_ptr<Session> handle);
    void closed(Session* session, const std::string& client, bool overLimit);
    void requestStarted() { ++m_inFlight; }
    void requestEnded() { --m_inFlight; }

private:
    void accept();
    void onAccept(boost::system::error_code ec, boost::asio::ip::tcp::socket socket);
    void stop();
    std::vector<std::shared_ptr<Session>> openSessions();
    void awaitDrained(std::chrono::steady_clock::time_point deadline);

    Config m_config;
    boost::asio::io_context m_io;
    boost::asio::ssl::context m_tls;
    std::unique_ptr<Database> m_database; // after m_io: its workers stop before m_io goes
    std::unique_ptr<Api> m_api;
    std::unique_ptr<ClassPage> m_classPage;
    ConnectionCounter m_connections;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::atomic<bool> m_draining{false};
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_overLimit{0};
    std::mutex m_mutex;
    std::unordered_map<Session*, std::weak_ptr<Session>> m_sessions;
};

} // namespace kvserver
