#pragma once

#include "refusal.h"

#include <string>
#include <string_view>

namespace kvserver {

// What the server answers to one request: a status and a JSON body; a refusal's code for the
// log and its Retry-After.
struct Reply {
    int status = 200;
    std::string body;
    std::string_view error; // empty for a success
    int retryAfter = 0;
};

inline Reply replyOf(const Refusal& refusal) {
    return {refusal.status, refusalBody(refusal), refusal.error, refusal.retryAfter};
}

} // namespace kvserver
