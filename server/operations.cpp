#include "operations.h"

#include "classapi.h"

#include <boost/json.hpp>
#include <cstdio>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <stdexcept>

namespace kvserver {
namespace json = boost::json;
namespace key = classapi::key;

namespace {

PgParam text(const std::string& value) {
    return {value};
}

PgParam number(long long value) {
    return {std::to_string(value)};
}

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
    out.resize(std::size_t(n));
    return out;
}

// The row a function that returns one row gave.
const PgRows& one(const PgRows& rows) {
    if (rows.rows() != 1)
        throw std::runtime_error("a call gave " + std::to_string(rows.rows()) + " rows, not one");
    return rows;
}

Reply ok(const json::object& body) {
    return replyWith(200, json::serialize(body));
}

// An answer as given_answer rows hold it: record, option, verdict, pr_otvet, client_seconds,
// server_seconds, late.
json::object givenAnswer(const PgRows& r, int row) {
    json::object a;
    a[key::record] = r.integer(row, 0);
    a[key::option] = r.integer(row, 1);
    a[key::timedOut] = r.flag(row, 6);
    if (r.isNull(row, 2))
        a[key::right] = nullptr;
    else
        a[key::right] = r.flag(row, 2);
    // A sitting that hides its right answers gives none: the reply says so instead.
    if (r.isNull(row, 3))
        a[key::answerHidden] = true;
    else
        a[key::rightAnswer] = r.text(row, 3);
    a[key::seconds] = r.number(row, 4);
    a[key::serverSeconds] = r.number(row, 5);
    return a;
}

} // namespace

std::string codeHash(const std::string& code) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(code.data()), code.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

Reply startRun(PgLink& db, const StartRequest& q) {
    PgParam hash{codeHash(q.code)};
    hash.binary = true;
    PgParam trainee = q.trainee ? text(*q.trainee) : PgParam{{}, true};
    const PgRows r = db.exec("SELECT token, record_count, allowed_seconds, decimal_separator, "
                             "trainee, bank, version, resumed, order_state, hide_answers, "
                             "grade5, grade4, grade3 "
                             "FROM kviront_api.sitting_start($1, $2, $3, $4)",
                             {text(q.sitting), hash, text(q.host), trainee});
    one(r);
    json::object run;
    const std::string token(r.text(0, 0));
    run[key::token] = token;
    run[key::records] = r.integer(0, 1);
    run[key::seconds] = r.integer(0, 2);
    run[key::decimalSeparator] = r.text(0, 3);
    run[key::trainee] = r.text(0, 4);
    run[key::bank] = r.text(0, 5);
    run[key::bankVersion] = r.integer(0, 6);
    const bool resumed = r.flag(0, 7);
    run[key::resumed] = resumed;
    run[key::orderState] = r.isNull(0, 8) ? json::value(nullptr) : json::value(r.integer(0, 8));
    run[key::hideAnswers] = r.flag(0, 9);
    if (r.isNull(0, 10))
        run[key::grades] = nullptr;
    else
        run[key::grades] = json::array{r.integer(0, 10), r.integer(0, 11), r.integer(0, 12)};
    json::array answers;
    if (resumed) {
        const PgRows given = db.exec("SELECT record, option, verdict, pr_otvet, client_seconds, "
                                     "server_seconds, late FROM kviront_api.run_answers($1)",
                                     {text(token)});
        for (int i = 0; i < given.rows(); ++i)
            answers.push_back(givenAnswer(given, i));
    }
    run[key::answers] = std::move(answers);
    return ok(run);
}

Reply question(PgLink& db, const RecordRequest& q) {
    // Binary results: the picture's bytes as they are, the texts as their UTF-8 bytes.
    const PgRows r = db.exec("SELECT name, vopros, otvet1, otvet2, otvet3, otvet4, graph "
                             "FROM kviront_api.hand_out($1, $2)",
                             {text(q.token), number(q.record)}, true);
    one(r);
    json::object out;
    out[key::record] = q.record;
    out[key::name] = r.text(0, 0);
    out[key::vopros] = r.text(0, 1);
    json::array otvet;
    for (int k = 0; k < 4; ++k)
        otvet.emplace_back(r.text(0, 2 + k));
    out[key::otvet] = std::move(otvet);
    out[key::graph] = base64(r.text(0, 6));
    return ok(out);
}

Reply answer(PgLink& db, const AnswerRequest& q) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.17g", q.seconds); // the daemon keeps the C locale
    // One round trip, two transactions: the answer is recorded and committed (durably, as the
    // function forces) before the backend reads the next statement, which alone may return the
    // right answer. A failure to record is the reply, whatever the second statement found.
    const std::vector<PgRows> r = db.pipeline(
        {{"SELECT repeated FROM kviront_api.record_answer($1, $2, $3, $4)",
          {text(q.token), number(q.record), number(q.option), PgParam{seconds}}},
         {"SELECT record, option, verdict, pr_otvet, client_seconds, server_seconds, late "
          "FROM kviront_api.answer_result($1, $2)",
          {text(q.token), number(q.record)}}});
    const bool repeated = one(r[0]).flag(0, 0);
    json::object out = givenAnswer(one(r[1]), 0);
    out[key::repeated] = repeated;
    return ok(out);
}

Reply finishRun(PgLink& db, const FinishRequest& q) {
    const PgRows r = db.exec("SELECT finished, answers FROM kviront_api.sitting_finish($1, $2)",
                             {text(q.token), text(q.completed ? "true" : "false")});
    one(r);
    json::object out;
    out[key::completed] = r.flag(0, 0);
    out[key::answers] = r.integer(0, 1);
    return ok(out);
}

Reply health(PgLink& db) {
    db.exec("SELECT 1");
    json::object out;
    out[key::status] = "ok";
    out[key::api] = classapi::version;
    return ok(out);
}

} // namespace kvserver
