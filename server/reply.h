#pragma once

#include "refusal.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvserver {

// What the server answers to one request: a status and a JSON body; a refusal's code for the
// log and its Retry-After. The class page's replies may be of another type and carry headers
// of their own (a cookie, its security policy).
struct Reply {
    int status = 200;
    std::string body;
    std::string_view error; // empty for a success
    int retryAfter = 0;
    std::string contentType; // empty: JSON
    std::vector<std::pair<std::string, std::string>> headers;
};

inline Reply replyOf(const Refusal& refusal) {
    Reply r;
    r.status = refusal.status;
    r.body = refusalBody(refusal);
    r.error = refusal.error;
    r.retryAfter = refusal.retryAfter;
    return r;
}

// A reply with `body` of `contentType` (empty: JSON).
inline Reply replyWith(int status, std::string body, std::string contentType = {}) {
    Reply r;
    r.status = status;
    r.body = std::move(body);
    r.contentType = std::move(contentType);
    return r;
}

} // namespace kvserver
