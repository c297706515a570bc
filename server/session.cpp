#include "session.h"

#include "classapi.h"
#include "classpage.h"
#include "log.h"
#include "server.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace kvserver {
namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;
using std::chrono::seconds;

namespace {

constexpr std::size_t maxHeaderBytes = 8 * 1024;
// What one connection may hold unread: a header and a body, nothing more.
constexpr std::size_t bufferLimit = maxHeaderBytes + classapi::maxRequestBytes + 4096;

bool isDisconnect(const beast::error_code& ec) {
    return ec == http::error::end_of_stream || ec == asio::error::eof ||
           ec == asio::ssl::error::stream_truncated || ec == asio::error::connection_reset ||
           ec == asio::error::operation_aborted || ec == asio::error::broken_pipe;
}

} // namespace

Session::Session(asio::ip::tcp::socket&& socket, Server& server, std::string client, bool overLimit)
    : m_stream(std::move(socket), server.tls()), m_buffer(bufferLimit), m_server(server),
      m_client(std::move(client)), m_overLimit(overLimit) {}

Session::~Session() {
    if (m_counted)
        m_server.requestEnded();
    m_server.closed(this, m_client, m_overLimit);
}

void Session::run() {
    m_server.opened(this, weak_from_this());
    // On the session's strand, as every later step.
    asio::dispatch(m_stream.get_executor(), [self = shared_from_this()] {
        beast::get_lowest_layer(self->m_stream)
            .expires_after(seconds(self->m_server.config().handshakeSeconds));
        self->m_stream.async_handshake(asio::ssl::stream_base::server,
                                       [self](beast::error_code ec) { self->onHandshake(ec); });
    });
}

void Session::stopIfIdle() {
    asio::dispatch(m_stream.get_executor(), [self = shared_from_this()] {
        if (self->m_state == State::Idle || self->m_state == State::Handshake)
            self->abort();
    });
}

void Session::abort() {
    beast::error_code ec;
    beast::get_lowest_layer(m_stream).socket().close(ec);
}

void Session::onHandshake(beast::error_code ec) {
    if (ec)
        return dropped(ec == beast::error::timeout ? "TLS не завершён вовремя" : nullptr);
    awaitRequest();
}

// Waits for a request's first bytes: a kept-alive connection may sit idle a while; the first
// request of a new connection is due at once.
void Session::awaitRequest() {
    if (m_buffer.size() > 0 || m_server.draining())
        return m_server.draining() ? close() : readHeader();
    m_state = State::Idle;
    const Config& c = m_server.config();
    beast::get_lowest_layer(m_stream).expires_after(
        seconds(m_firstRequest ? c.handshakeSeconds : c.idleSeconds));
    m_stream.async_read_some(m_buffer.prepare(4096),
                             [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                 self->onFirstBytes(ec, n);
                             });
}

void Session::onFirstBytes(beast::error_code ec, std::size_t bytes) {
    if (ec)
        return dropped(ec == beast::error::timeout && m_firstRequest ? "запрос не пришёл вовремя"
                                                                     : nullptr);
    m_buffer.commit(bytes);
    readHeader();
}

void Session::readHeader() {
    m_state = State::Header;
    m_firstRequest = false;
    m_method.clear();
    m_target.clear();
    m_parser.emplace();
    m_parser->header_limit(maxHeaderBytes);
    m_parser->body_limit(classapi::maxRequestBytes); // before a byte of the body is read
    beast::get_lowest_layer(m_stream).expires_after(seconds(m_server.config().handshakeSeconds));
    http::async_read_header(
        m_stream, m_buffer, *m_parser,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onHeader(ec); });
}

void Session::onHeader(beast::error_code ec) {
    if (m_parser->is_header_done()) {
        m_method = boundedText(m_parser->get().method_string(), 16);
        m_target = boundedText(m_parser->get().target(), 80);
    }
    if (ec == beast::error::timeout)
        return dropped("заголовок запроса не пришёл вовремя");
    if (isDisconnect(ec) || ec == asio::error::not_connected)
        return dropped(nullptr);
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
        return refuse(headerTooLarge());
    if (ec == http::error::body_limit) // a Content-Length over the limit, told by the header
        return refuse(tooLarge());
    if (ec)
        return refuse(badRequest("Сервер класса не понял запрос (это не HTTP/1.1)."));
    const auto& request = m_parser->get();
    m_server.requestStarted();
    m_counted = true;
    if (m_overLimit)
        return refuse(tooManyConnections());
    const auto refusal = ClassPage::owns(request.target())
                             ? m_server.classPage().checkTarget(request.method(), request.target())
                             : m_server.api().checkTarget(request.method(), request.target());
    if (refusal)
        return refuse(*refusal);
    m_state = State::Body;
    beast::get_lowest_layer(m_stream).expires_after(seconds(m_server.config().bodySeconds));
    http::async_read(
        m_stream, m_buffer, *m_parser,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onBody(ec); });
}

void Session::onBody(beast::error_code ec) {
    if (ec == beast::error::timeout)
        return dropped("тело запроса не пришло вовремя");
    if (isDisconnect(ec))
        return dropped(nullptr);
    if (ec == http::error::body_limit || ec == http::error::buffer_overflow)
        return refuse(tooLarge());
    if (ec)
        return refuse(badRequest("Сервер класса не понял запрос (это не HTTP/1.1)."));
    m_state = State::Working;
    beast::get_lowest_layer(m_stream).expires_never();
    auto request = m_parser->release();
    const bool keepAlive = request.keep_alive();
    auto done = [self = shared_from_this(), keepAlive](Reply reply) {
        asio::post(self->m_stream.get_executor(),
                   [self, keepAlive, reply = std::move(reply)]() mutable {
                       self->respond(std::move(reply), keepAlive);
                   });
    };
    if (ClassPage::owns(request.target()))
        return m_server.classPage().handle(request, m_client, std::move(done));
    m_server.api().handle(request.method(), request.target(), std::move(request.body()), m_client,
                          std::move(done));
}

void Session::refuse(const Refusal& refusal) {
    Reply reply = replyOf(refusal);
    respond(ClassPage::owns(m_target) ? ClassPage::secured(std::move(reply)) : std::move(reply),
            false);
}

void Session::respond(Reply reply, bool keepAlive) {
    m_state = State::Writing;
    if (reply.status >= 400)
        logRefusal(reply);
    keepAlive = keepAlive && !m_server.draining();
    m_response = {};
    m_response.version(11);
    m_response.result(unsigned(reply.status));
    m_response.set(http::field::server, "kviront-server");
    m_response.set(http::field::content_type, reply.contentType.empty()
                                                  ? "application/json; charset=utf-8"
                                                  : reply.contentType);
    m_response.set(http::field::cache_control, "no-store");
    m_response.set("X-Content-Type-Options", "nosniff");
    if (reply.retryAfter > 0)
        m_response.set(http::field::retry_after, std::to_string(reply.retryAfter));
    if (reply.status == 405)
        m_response.set(http::field::allow, ClassPage::owns(m_target)
                                               ? ClassPage::methodsOf(m_target)
                                           : m_target == classapi::path::health ? "GET"
                                                                                : "POST");
    for (const auto& [name, value] : reply.headers)
        m_response.insert(name, value);
    m_response.body() = std::move(reply.body);
    m_response.keep_alive(keepAlive);
    m_response.prepare_payload();
    // A large picture may take a while on a slow network: at least 64 KiB a second.
    const auto limit =
        seconds(m_server.config().bodySeconds + long(m_response.body().size() / 65536));
    beast::get_lowest_layer(m_stream).expires_after(limit);
    http::async_write(m_stream, m_response,
                      [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t) {
                          self->onWrite(ec, keepAlive);
                      });
}

void Session::onWrite(beast::error_code ec, bool keepAlive) {
    if (m_counted) {
        m_counted = false;
        m_server.requestEnded();
    }
    if (ec)
        return dropped(ec == beast::error::timeout ? "ответ не принят вовремя" : nullptr);
    if (!keepAlive)
        return close();
    awaitRequest();
}

// Says goodbye in TLS, then reads and drops what the client still sends (the rest of a body
// that was refused, say) for a moment before closing: closing with unread bytes would reset the
// connection and could destroy the refusal on its way to the client.
void Session::close() {
    m_state = State::Closing;
    beast::get_lowest_layer(m_stream).expires_after(seconds(1));
    m_stream.async_shutdown([self = shared_from_this()](beast::error_code) {
        auto& tcp = beast::get_lowest_layer(self->m_stream);
        beast::error_code ec;
        tcp.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ec);
        tcp.expires_after(seconds(1));
        self->linger(0);
    });
}

void Session::linger(std::size_t dropped) {
    constexpr std::size_t limit = 1024 * 1024;
    auto& tcp = beast::get_lowest_layer(m_stream);
    if (dropped > limit)
        return tcp.close();
    m_buffer.clear();
    tcp.async_read_some(m_buffer.prepare(4096),
                        [self = shared_from_this(), dropped](beast::error_code ec, std::size_t n) {
                            if (ec)
                                return beast::get_lowest_layer(self->m_stream).close();
                            self->linger(dropped + n);
                        });
}

void Session::dropped(const char* why) {
    if (why)
        logLine(m_client + ": соединение закрыто: " + why);
    m_state = State::Closing;
    beast::get_lowest_layer(m_stream).close();
}

void Session::logRefusal(const Reply& reply) const {
    logLine(m_client + " " + (m_method.empty() ? "-" : m_method) + " " +
            (m_target.empty() ? "-" : m_target) + " " + std::to_string(reply.status) + " " +
            std::string(reply.error));
}

} // namespace kvserver
