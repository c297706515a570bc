#pragma once

// What the trainee's program, the class server and the benchmark must agree on, in one place:
// the operations' paths, the JSON names, the limits and the trainee codes. Plain C++ with no
// library behind it, so that the Qt client and the Boost server include the same text.
// openapi.yaml at the repository's root describes the same API for people and outside checks.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace classapi {

inline constexpr int version = 1;

// The operations, each a fixed path; every value travels in the JSON body, never in the path,
// so no token or code ends up in a balancer's or proxy's access log.
namespace path {
inline constexpr std::string_view startRun = "/api/v1/start";    // POST
inline constexpr std::string_view question = "/api/v1/question"; // POST
inline constexpr std::string_view answer = "/api/v1/answer";     // POST
inline constexpr std::string_view finishRun = "/api/v1/finish";  // POST
inline constexpr std::string_view health = "/api/v1/health";     // GET
} // namespace path

// JSON member names, requests and replies alike.
namespace key {
inline constexpr std::string_view sitting = "sitting";
inline constexpr std::string_view code = "code";
inline constexpr std::string_view host = "host";
inline constexpr std::string_view trainee = "trainee";
inline constexpr std::string_view token = "token";
inline constexpr std::string_view records = "records";
inline constexpr std::string_view seconds = "seconds";
inline constexpr std::string_view decimalSeparator = "decimalSeparator";
inline constexpr std::string_view bank = "bank";
inline constexpr std::string_view bankVersion = "version";
inline constexpr std::string_view resumed = "resumed";
inline constexpr std::string_view answers = "answers";
// The starting state of the program's order generator for this run (0 … 2^32 - 1); null: the
// program's own fixed order.
inline constexpr std::string_view orderState = "orderState";
inline constexpr std::string_view hideAnswers = "hideAnswers"; // right answers never sent
// The grade thresholds [5, 4, 3] when the trainee is shown the grade; null otherwise.
inline constexpr std::string_view grades = "grades";
inline constexpr std::string_view record = "record";
inline constexpr std::string_view name = "name";
inline constexpr std::string_view vopros = "vopros";
inline constexpr std::string_view otvet = "otvet"; // an array of the four options
inline constexpr std::string_view graph = "graph"; // the picture's bytes in base64, "" for none
inline constexpr std::string_view option = "option";
inline constexpr std::string_view timedOut = "timedOut";
inline constexpr std::string_view right = "right";             // true, false or null (no verdict)
inline constexpr std::string_view rightAnswer = "rightAnswer"; // absent when hidden
inline constexpr std::string_view answerHidden = "answerHidden";
inline constexpr std::string_view serverSeconds = "serverSeconds";
inline constexpr std::string_view repeated = "repeated";
inline constexpr std::string_view completed = "completed";
inline constexpr std::string_view status = "status";
inline constexpr std::string_view api = "api";
inline constexpr std::string_view error = "error";
inline constexpr std::string_view message = "message";
} // namespace key

// The "error" member of a refusal; "message" carries a Russian text the program can show.
namespace error {
inline constexpr std::string_view badRequest = "bad_request";         // 400
inline constexpr std::string_view runUnknown = "run_unknown";         // 404: no such token
inline constexpr std::string_view sittingUnknown = "sitting_unknown"; // 404
inline constexpr std::string_view codeUnknown = "code_unknown";       // 404
inline constexpr std::string_view recordUnknown = "record_unknown";   // 404
inline constexpr std::string_view codeElsewhere = "code_elsewhere";   // 403: taken on another host
inline constexpr std::string_view sittingClosed = "sitting_closed";   // 409: closed or not open yet
inline constexpr std::string_view withdrawn = "withdrawn";            // 409: bank or version
inline constexpr std::string_view runFinished = "run_finished";       // 409
inline constexpr std::string_view notHandedOut = "not_handed_out";    // 409
inline constexpr std::string_view runIncomplete = "run_incomplete";   // 409: completed too soon
inline constexpr std::string_view tooLarge = "too_large";             // 413, 431 (headers)
inline constexpr std::string_view noSuchPath = "no_such_path";        // 404: no such operation
inline constexpr std::string_view methodNotAllowed = "method_not_allowed"; // 405
inline constexpr std::string_view tooMany = "too_many";                    // 429, with Retry-After
inline constexpr std::string_view unavailable = "unavailable";             // 503, with Retry-After
// The class page's own: no valid teacher key (401), a request from another site (403), a code
// without a run (409).
inline constexpr std::string_view teacherKey = "teacher_key";
inline constexpr std::string_view otherSite = "other_site";
inline constexpr std::string_view noRun = "no_run";
} // namespace error

// A reply status the client waits out and sends again (the request is safe to repeat: every
// operation answers a repeat as it answered the first): 429, a server or its database busy or
// away (503), a balancer whose server is away (502, 504). Every other refusal is final.
constexpr bool isPassingStatus(int status) {
    return status == 429 || status == 502 || status == 503 || status == 504;
}

// Limits, checked by the side that receives.
inline constexpr std::size_t maxRequestBytes = 16 * 1024;        // a request's body
inline constexpr std::size_t maxPictureBytes = 16 * 1024 * 1024; // a question's picture
inline constexpr std::size_t maxReplyBytes = 24 * 1024 * 1024;   // base64 of the picture + texts
inline constexpr int maxRecords = 10000; // records of a version: 1 … maxRecords
inline constexpr int maxSittingChars = 200;
inline constexpr int maxTraineeChars = 1000;
inline constexpr int maxHostChars = 255;
inline constexpr int maxCodeInputChars = 64; // as typed, dashes and blanks included
inline constexpr double maxSeconds = 86400;  // a client's own seconds for one answer
inline constexpr std::array<int, 4> allowedSeconds{30, 35, 45, 60};
inline constexpr int defaultGraceSeconds = 5;
inline constexpr int maxGraceSeconds = 60;
inline constexpr int defaultPort = 8443;

constexpr bool isAllowedSeconds(int seconds) {
    for (int s : allowedSeconds)
        if (s == seconds)
            return true;
    return false;
}

// Trainee codes: codeLength characters of an alphabet with no 0/O or 1/I/L, so a slip reads
// unambiguously; 31^10 > 2^49. Shown in groups of four ("K7QX-M2PD-W9"); typed in any case,
// with or without dashes and blanks.
inline constexpr std::string_view codeAlphabet = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
inline constexpr int codeLength = 10;

// The teacher's key to a sitting's class page: of the codes' alphabet, 31^20 > 2^99, printed in
// groups of four as a code is.
inline constexpr int teacherKeyLength = 20;

// The code as stored (upper case, no dashes or blanks), or none when the text cannot be a code
// (or, with `length`, a teacher key).
inline std::optional<std::string> normaliseCode(std::string_view typed, int length = codeLength) {
    if (typed.size() > std::size_t(maxCodeInputChars))
        return std::nullopt;
    std::string code;
    for (char c : typed) {
        if (c == '-' || c == ' ' || c == '\t')
            continue;
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (codeAlphabet.find(c) == std::string_view::npos)
            return std::nullopt;
        code.push_back(c);
    }
    if (code.size() != std::size_t(length))
        return std::nullopt;
    return code;
}

// What a protocol says in the place of a right answer that the sitting keeps until it closes
// (UTF-8); kviront-results reads such a run's counts from its result line.
inline constexpr std::string_view hiddenRightAnswer = "скрыт до закрытия сеанса";

// A stored code as printed on a slip.
inline std::string groupedCode(std::string_view code) {
    std::string shown;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (i > 0 && i % 4 == 0)
            shown.push_back('-');
        shown.push_back(code[i]);
    }
    return shown;
}

// Grades on the 5-point scale: the least percentage of right answers for a 5, a 4 and a 3;
// below the last, a 2.
struct Grades {
    int five = 90, four = 75, three = 50;
    bool operator==(const Grades&) const = default;
};
inline constexpr Grades defaultGrades{};

constexpr bool isValid(const Grades& g) {
    return 0 < g.three && g.three < g.four && g.four < g.five && g.five <= 100;
}

// The grade of `right` answers out of `questions` (exact: no rounding of the percentage), 0
// when there were no questions.
constexpr int gradeOf(int right, int questions, const Grades& g) {
    if (questions <= 0)
        return 0;
    const long long share = 100LL * right;
    if (share >= 1LL * g.five * questions)
        return 5;
    if (share >= 1LL * g.four * questions)
        return 4;
    if (share >= 1LL * g.three * questions)
        return 3;
    return 2;
}

// "90,75,50" (blanks allowed around the numbers); none unless three whole numbers that make
// valid thresholds.
inline std::optional<Grades> parseGrades(std::string_view text) {
    int values[3] = {0, 0, 0};
    int count = 0;
    std::size_t i = 0;
    while (count < 3) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        int n = 0, digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4)
            n = n * 10 + (text[i++] - '0'), ++digits;
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (digits == 0)
            return std::nullopt;
        values[count++] = n;
        if (count < 3 && (i >= text.size() || text[i++] != ','))
            return std::nullopt;
    }
    const Grades g{values[0], values[1], values[2]};
    if (i != text.size() || !isValid(g))
        return std::nullopt;
    return g;
}

} // namespace classapi
