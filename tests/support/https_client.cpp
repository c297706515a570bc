#include "https_client.h"

#include "class_server.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/json.hpp>
#include <openssl/ssl.h>

namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;
namespace ssl = asio::ssl;

struct HttpsClient::Impl {
    int port;
    const std::string host = "127.0.0.1";
    asio::io_context io;
    ssl::context tls{ssl::context::tls_client};
    std::unique_ptr<beast::ssl_stream<beast::tcp_stream>> stream;
    beast::flat_buffer buffer;
    std::string error;

    // Starts an operation and runs it to its end or the timeout; on a timeout it is ended (with
    // the connection, unless `keep`) and false returned with the error "timeout".
    template <typename Start> bool await(Start start, Timeout timeout, bool keep = false) {
        bool done = false;
        beast::error_code result;
        start([&](beast::error_code ec, auto&&...) {
            done = true;
            result = ec;
        });
        io.restart();
        io.run_for(timeout);
        if (!done) {
            beast::error_code ignored;
            if (keep)
                socket().cancel(ignored);
            else
                socket().close(ignored);
            io.restart();
            io.run_for(Timeout(2000));
            error = "timeout";
            return false;
        }
        error = result ? result.message() : std::string();
        return !result;
    }
    asio::ip::tcp::socket& socket() { return beast::get_lowest_layer(*stream).socket(); }
    bool connected() { return stream && socket().is_open(); }
    void close() {
        beast::error_code ignored;
        if (stream)
            socket().close(ignored);
        stream.reset();
        buffer.clear();
    }
};

namespace {

HttpsClient::Response failed(const std::string& error) {
    HttpsClient::Response r;
    r.error = error;
    return r;
}

} // namespace

boost::json::value HttpsClient::Response::json() const {
    boost::system::error_code ec;
    boost::json::value v = boost::json::parse(body, ec);
    return ec ? boost::json::value() : v;
}

std::string HttpsClient::Response::text(const char* key) const {
    const boost::json::value v = json();
    const boost::json::value* m = v.is_object() ? v.as_object().if_contains(key) : nullptr;
    return m && m->is_string() ? std::string(m->as_string()) : std::string();
}

HttpsClient::HttpsClient(int port, const std::string& certificatePem)
    : m(std::make_unique<Impl>()) {
    m->port = port;
    m->tls.set_verify_mode(ssl::verify_peer);
    beast::error_code ec;
    m->tls.add_certificate_authority(asio::buffer(certificatePem), ec);
    if (ec)
        m->error = "certificate: " + ec.message();
}

HttpsClient::HttpsClient(const ClassServer& server, int i)
    : HttpsClient(server.port(i), server.certificate().toStdString()) {}

HttpsClient::~HttpsClient() {
    m->close();
}

bool HttpsClient::connect(Timeout timeout) {
    m->close();
    m->stream = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(m->io, m->tls);
    SSL_set_tlsext_host_name(m->stream->native_handle(), m->host.c_str());
    m->stream->set_verify_callback(ssl::host_name_verification(m->host));
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(m->host),
                                           static_cast<unsigned short>(m->port));
    return m->await([&](auto h) { m->socket().async_connect(endpoint, h); }, timeout) &&
           m->await([&](auto h) { m->stream->async_handshake(ssl::stream_base::client, h); },
                    timeout);
}

bool HttpsClient::sendRaw(const std::string& bytes, Timeout timeout) {
    return (m->connected() || connect(timeout)) &&
           m->await([&](auto h) { asio::async_write(*m->stream, asio::buffer(bytes), h); },
                    timeout);
}

HttpsClient::Response HttpsClient::readResponse(Timeout timeout) {
    Response r;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    parser.header_limit(64 * 1024);
    if (!m->connected() ||
        !m->await([&](auto h) { http::async_read(*m->stream, m->buffer, parser, h); }, timeout)) {
        r.error = m->connected() ? m->error : "not connected: " + m->error;
        m->close();
        return r;
    }
    const auto& message = parser.get();
    r.status = int(message.result_int());
    for (const auto& field : message)
        r.headers[boost::algorithm::to_lower_copy(std::string(field.name_string()))] =
            std::string(field.value());
    r.body = message.body();
    if (!message.keep_alive())
        m->close();
    return r;
}

HttpsClient::Response HttpsClient::exchange(const std::string& bytes) {
    sendRaw(bytes); // a failure leaves no connection: readResponse says why
    return readResponse();
}

std::string HttpsClient::compose(const std::string& method, const std::string& target,
                                 const std::string& body, const std::string& headers,
                                 const std::string& host) {
    return method + " " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + headers + "\r\n" + body;
}

bool HttpsClient::closedWithin(Timeout timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    char scratch[4096];
    // Whatever the server sends is read past; a time-out keeps the connection.
    while (m->connected()) {
        const auto left =
            std::chrono::duration_cast<Timeout>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (!m->await([&](auto h) { m->stream->async_read_some(asio::buffer(scratch), h); }, left,
                      true)) {
            if (m->error == "timeout")
                return false;
            m->close(); // the server's close, seen
        }
    }
    return true;
}

HttpsClient::Response HttpsClient::request(const std::string& method, const std::string& target,
                                           const std::string& body, Timeout timeout) {
    const std::string bytes =
        compose(method, target, body, {}, m->host + ":" + std::to_string(m->port));
    // A kept-alive connection the server closed meanwhile: once more on a new one.
    for (int attempt = 0;; ++attempt) {
        const bool fresh = !m->connected();
        Response r = sendRaw(bytes, timeout) ? readResponse(timeout) : failed("send: " + m->error);
        if (r.status != 0 || fresh || attempt == 1)
            return r;
        m->close();
    }
}

HttpsClient::Response HttpsClient::post(const std::string& target, const boost::json::value& body) {
    return request("POST", target, boost::json::serialize(body), Timeout(10000));
}

HttpsClient::Response HttpsClient::get(const std::string& target, Timeout timeout) {
    return request("GET", target, std::string(), timeout);
}

HttpsClient::Response HttpsClient::start(const std::string& sitting, const std::string& code,
                                         const std::string& host, const std::string& trainee) {
    return post("/api/v1/start",
                boost::json::object{
                    {"sitting", sitting}, {"code", code}, {"host", host}, {"trainee", trainee}});
}

HttpsClient::Response HttpsClient::question(const std::string& token, int record) {
    return post("/api/v1/question", boost::json::object{{"token", token}, {"record", record}});
}

HttpsClient::Response HttpsClient::answer(const std::string& token, int record, int option,
                                          double seconds) {
    return post("/api/v1/answer", boost::json::object{{"token", token},
                                                      {"record", record},
                                                      {"option", option},
                                                      {"seconds", seconds}});
}
