#pragma once

#include "config.h"
#include "database.h"
#include "ratelimit.h"
#include "reply.h"

#include <boost/beast/http/verb.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The API's front: which method and path name an operation, the request's strict reading,
// the rate limits, then the operation on a database worker. Holds no state of any request.
namespace kvserver {

class Api {
public:
    Api(const Config& config, Database& database);

    // The refusal for a method and path that name no operation (404, 405), told from the
    // header alone, before any body is read.
    std::optional<Refusal> checkTarget(boost::beast::http::verb method,
                                       std::string_view target) const;
    // Handles a request whose target passed checkTarget; `done` gets the reply exactly once,
    // at once or later on a database worker.
    void handle(boost::beast::http::verb method, std::string_view target, std::string body,
                const std::string& client, std::function<void(Reply)> done);

private:
    void start(std::string body, const std::string& client, std::function<void(Reply)> done);
    // A run's request: its rate limit, then the operation.
    void forRun(const std::string& token, Database::Work work, std::function<void(Reply)> done);

    Database& m_database;
    RateLimiter m_starts;     // per code
    RateLimiter m_wrongCodes; // per client address, counting only codes that were wrong
    RateLimiter m_runs;       // per run token
};

} // namespace kvserver
