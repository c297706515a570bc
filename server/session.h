#pragma once

#include "reply.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <memory>
#include <optional>
#include <string>

namespace kvserver {

class Server;

// One client connection: TLS, then HTTP/1.1 requests one after another (keep-alive), every
// step asynchronous and under a deadline, so a slow or silent client costs a socket and no
// thread. A connection over its address's bound is answered 429 and closed.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(boost::asio::ip::tcp::socket&& socket, Server& server, std::string client,
            bool overLimit);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void run();
    // The server is stopping: a connection waiting for a request is closed now; one with a
    // request in hand answers it first.
    void stopIfIdle();
    // Closes the connection at once; only once the network threads have stopped.
    void abort();

private:
    enum class State { Handshake, Idle, Header, Body, Working, Writing, Closing };

    void onHandshake(boost::beast::error_code ec);
    void awaitRequest();
    void onFirstBytes(boost::beast::error_code ec, std::size_t bytes);
    void readHeader();
    void onHeader(boost::beast::error_code ec);
    void onBody(boost::beast::error_code ec);
    // Refuses on a broken or refused request, then closes.
    void refuse(const Refusal& refusal);
    void respond(Reply reply, bool keepAlive);
    void onWrite(boost::beast::error_code ec, bool keepAlive);
    void close();
    void linger(std::size_t dropped);
    void dropped(const char* why);
    void logRefusal(const Reply& reply) const;

    boost::beast::ssl_stream<boost::beast::tcp_stream> m_stream;
    boost::beast::flat_buffer m_buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_parser;
    boost::beast::http::response<boost::beast::http::string_body> m_response;
    Server& m_server;
    const std::string m_client;
    const bool m_overLimit;
    State m_state = State::Handshake;
    bool m_firstRequest = true;
    bool m_counted = false;         // a request of this session is in flight
    std::string m_method, m_target; // for the log, bounded
};

} // namespace kvserver
