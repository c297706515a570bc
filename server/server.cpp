#include "server.h"

#include "log.h"
#include "session.h"

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <cstdio>
#include <openssl/ssl.h>
#include <thread>
#include <vector>

namespace kvserver {
namespace asio = boost::asio;
namespace ssl = asio::ssl;
using asio::ip::tcp;

namespace {

// Connections over their address's bound that are still answered 429 rather than just closed.
constexpr int maxRefusedConnections = 64;

// TLS 1.2 and 1.3 with forward secrecy and authenticated ciphers only (as the common
// "intermediate" server profiles choose).
const char* tls12Ciphers = "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                           "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                           "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

void configureTls(ssl::context& tls, const Config& c) {
    tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                    ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                    ssl::context::single_dh_use | ssl::context::no_compression);
    SSL_CTX* ctx = tls.native_handle();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_cipher_list(ctx, tls12Ciphers);
    boost::system::error_code ec;
    tls.use_certificate_chain_file(c.certificate, ec);
    if (ec)
        throw StartError("Не читается сертификат сервера " + c.certificate + ": " + ec.message());
    tls.use_private_key_file(c.key, ssl::context::pem, ec);
    if (ec)
        throw StartError("Не читается закрытый ключ сервера " + c.key + ": " + ec.message());
    if (SSL_CTX_check_private_key(ctx) != 1)
        throw StartError("Закрытый ключ " + c.key + " не подходит к сертификату " + c.certificate);
}

} // namespace

Server::Server(const Config& config)
    : m_config(config), m_io(config.threads), m_tls(ssl::context::tls_server),
      m_connections(config.connectionsPerAddress, config.maxConnections), m_acceptor(m_io) {
    configureTls(m_tls, m_config);
    m_database = std::make_unique<Database>(daemonConninfo(m_config), m_config.pool,
                                            m_config.queuePerConnection);
    m_api = std::make_unique<Api>(m_config, *m_database);
    m_classPage = std::make_unique<ClassPage>(*m_database);
}

Server::~Server() {
    m_database.reset();
}

void Server::run() {
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(m_config.listen, ec);
    if (ec)
        throw StartError("Адрес «" + m_config.listen + "» (listen) не читается");
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(m_config.port));
    m_acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        m_acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec && address.is_v6())
        m_acceptor.set_option(asio::ip::v6_only(false), ec);
    if (!ec)
        m_acceptor.bind(endpoint, ec);
    if (!ec)
        m_acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        throw StartError("Не удалось занять " + m_config.listen + ":" +
                         std::to_string(m_config.port) + ": " + ec.message());
    // The one line on standard output: the port taken (port 0 in the settings: any free one).
    std::printf("port=%u\n", unsigned(m_acceptor.local_endpoint().port()));
    std::fflush(stdout);
    logLine("слушает " + m_config.listen + ":" +
            std::to_string(m_acceptor.local_endpoint().port()));

    asio::signal_set signals(m_io, SIGTERM, SIGINT);
    signals.async_wait([this](const boost::system::error_code& e, int) {
        if (!e)
            stop();
    });
    accept();
    std::vector<std::thread> threads;
    for (int i = 1; i < m_config.threads; ++i)
        threads.emplace_back([this] { m_io.run(); });
    m_io.run();
    for (std::thread& t : threads)
        t.join();
    // Nothing runs now: the workers finish, then every connection left is closed and its
    // handlers run out, so that no session outlives the server.
    m_database->stop();
    for (const auto& s : openSessions())
        s->abort();
    m_io.restart();
    m_io.run_for(std::chrono::seconds(2));
    logLine("остановлен");
}

void Server::accept() {
    m_acceptor.async_accept(asio::make_strand(m_io),
                            [this](boost::system::error_code ec, tcp::socket socket) {
                                onAccept(ec, std::move(socket));
                            });
}

void Server::onAccept(boost::system::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !m_acceptor.is_open())
        return;
    if (ec) {
        // Out of descriptors, say: wait a moment rather than spin.
        logLine("соединение не принято: " + ec.message());
        auto timer = std::make_shared<asio::steady_timer>(m_io, std::chrono::milliseconds(100));
        timer->async_wait([this, timer](const boost::system::error_code&) { accept(); });
        return;
    }
    boost::system::error_code e;
    const std::string client = socket.remote_endpoint(e).address().to_string();
    socket.set_option(tcp::no_delay(true), e);
    if (m_connections.enter(client)) {
        std::make_shared<Session>(std::move(socket), *this, client, false)->run();
    } else if (++m_overLimit <= maxRefusedConnections) {
        std::make_shared<Session>(std::move(socket), *this, client, true)->run();
    } else {
        --m_overLimit;
        socket.close(e);
    }
    accept();
}

std::vector<std::shared_ptr<Session>> Server::openSessions() {
    std::vector<std::shared_ptr<Session>> open;
    std::lock_guard lock(m_mutex);
    for (auto& [raw, weak] : m_sessions)
        if (auto s = weak.lock())
            open.push_back(std::move(s));
    return open;
}

void Server::opened(Session* session, std::weak_ptr<Session> handle) {
    std::lock_guard lock(m_mutex);
    m_sessions.emplace(session, std::move(handle));
}

void Server::closed(Session* session, const std::string& client, bool overLimit) {
    {
        std::lock_guard lock(m_mutex);
        m_sessions.erase(session);
    }
    if (overLimit)
        --m_overLimit;
    else
        m_connections.leave(client);
}

void Server::stop() {
    logLine("остановка: новых соединений нет, начатые запросы завершаются");
    m_draining = true;
    boost::system::error_code ec;
    m_acceptor.close(ec);
    for (const auto& s : openSessions())
        s->stopIfIdle();
    awaitDrained(std::chrono::steady_clock::now() + std::chrono::seconds(m_config.drainSeconds));
}

void Server::awaitDrained(std::chrono::steady_clock::time_point deadline) {
    if (m_inFlight == 0 || std::chrono::steady_clock::now() >= deadline) {
        m_io.stop();
        return;
    }
    auto timer = std::make_shared<asio::steady_timer>(m_io, std::chrono::milliseconds(20));
    timer->async_wait(
        [this, timer, deadline](const boost::system::error_code&) { awaitDrained(deadline); });
}

} // namespace kvserver
