// libFuzzer target for the class server's reading of request bodies (untrusted bytes from the
// network): every body is taken or refused with a 400, nothing else, and a refusal's message
// never carries more than its own bounded words.
#include "refusal.h"
#include "requests.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    for (int operation = 0; operation < 4; ++operation) {
        try {
            switch (operation) {
            case 0:
                kvserver::parseStart(body);
                break;
            case 1:
                kvserver::parseRecord(body);
                break;
            case 2:
                kvserver::parseAnswer(body);
                break;
            default:
                kvserver::parseFinish(body);
            }
        } catch (const kvserver::Refused& r) {
            if (r.refusal().status != 400 || r.refusal().message.size() > 400)
                std::abort();
        }
    }
    return 0;
}
