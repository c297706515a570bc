#pragma once

#include "database.h"
#include "ratelimit.h"
#include "reply.h"

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The teacher's live class page under /class/, over the same TLS as the API. The teacher key is
// typed once on a login page and kept in a Secure, HttpOnly, SameSite=Strict cookie, never in
// an address; every request that shows or changes anything is checked against the key's hash
// in the database (the server keeps no session). Changing requests must come from the page
// itself: a header only its script sends, and the browser's Origin naming this server. Every
// reply carries a Content-Security-Policy that allows no inline script and nothing from
// elsewhere.
namespace kvserver {

class ClassPage {
public:
    explicit ClassPage(Database& database);

    static bool owns(std::string_view target);
    // The reply with the page's security headers (and JSON's type when it has none).
    static Reply secured(Reply reply);
    // "GET", "POST" or "GET, POST" for a path under /class/ that names something, else "".
    static std::string_view methodsOf(std::string_view target);
    // The refusal for a method and path under /class/ that name nothing (404, 405).
    std::optional<Refusal> checkTarget(boost::beast::http::verb method,
                                       std::string_view target) const;
    // `done` gets the reply exactly once.
    void handle(const boost::beast::http::request<boost::beast::http::string_body>& request,
                const std::string& client, std::function<void(Reply)> done);

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    using Done = std::function<void(Reply)>;

    void login(const Request& request, const std::string& client, Done done);
    // Runs `work` for the key in the cookie, or answers as a request without a key.
    void withKey(const Request& request, const std::string& client, bool page,
                 std::function<Reply(PgLink&, const std::string&)> work, Done done);

    Database& m_database;
    RateLimiter m_wrongKeys; // per client address
    RateLimiter m_keys;      // per key
};

} // namespace kvserver
