#pragma once

#include <optional>
#include <string>
#include <string_view>

// The four operations' request bodies, read strictly: a JSON object with exactly the members
// the API names, each of its type and range. Anything else is refused (400) with a message
// naming the member, never echoing what was sent.
namespace kvserver {

struct StartRequest {
    std::string sitting;
    std::string code; // normalised: upper case, no dashes or blanks
    std::string host;
    std::optional<std::string> trainee;
};

struct RecordRequest {
    std::string token; // a UUID in lower case
    int record = 0;
};

struct AnswerRequest {
    std::string token;
    int record = 0;
    int option = 0;
    double seconds = 0;
};

struct FinishRequest {
    std::string token;
    bool completed = false;
};

// Each throws Refused (400) for a body that is not what the operation takes.
StartRequest parseStart(std::string_view body);
RecordRequest parseRecord(std::string_view body);
AnswerRequest parseAnswer(std::string_view body);
FinishRequest parseFinish(std::string_view body);

// The number of characters (code points) of a UTF-8 text.
std::size_t characters(std::string_view utf8);

} // namespace kvserver
