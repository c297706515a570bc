#include "api.h"

#include "classapi.h"
#include "operations.h"

namespace kvserver {
namespace http = boost::beast::http;
namespace path = classapi::path;

Api::Api(const Config& c, Database& database)
    : m_database(database), m_starts(c.startBurst, c.startPerMinute / 60),
      m_wrongCodes(c.wrongCodeBurst, c.wrongCodePerMinute / 60),
      m_runs(c.runBurst, c.runPerSecond) {}

std::optional<Refusal> Api::checkTarget(http::verb method, std::string_view target) const {
    if (target == path::health)
        return method == http::verb::get ? std::nullopt : std::optional(methodNotAllowed());
    for (std::string_view p : {path::startRun, path::question, path::answer, path::finishRun})
        if (target == p)
            return method == http::verb::post ? std::nullopt : std::optional(methodNotAllowed());
    return noSuchPath();
}

void Api::handle(http::verb, std::string_view target, std::string body, const std::string& client,
                 std::function<void(Reply)> done) {
    try {
        if (target == path::health) {
            m_database.run([](PgLink& db) { return health(db); }, std::move(done));
        } else if (target == path::startRun) {
            start(std::move(body), client, std::move(done));
        } else if (target == path::question) {
            const RecordRequest q = parseRecord(body);
            forRun(
                q.token, [q](PgLink& db) { return question(db, q); }, std::move(done));
        } else if (target == path::answer) {
            const AnswerRequest q = parseAnswer(body);
            forRun(
                q.token, [q](PgLink& db) { return answer(db, q); }, std::move(done));
        } else {
            const FinishRequest q = parseFinish(body);
            forRun(
                q.token, [q](PgLink& db) { return finishRun(db, q); }, std::move(done));
        }
    } catch (const Refused& refused) {
        done(replyOf(refused.refusal()));
    }
}

void Api::start(std::string body, const std::string& client, std::function<void(Reply)> done) {
    // Guessing codes costs a client address its budget of wrong ones.
    if (const int wait = m_wrongCodes.wait(client)) {
        done(replyOf(tooMany(wait)));
        return;
    }
    StartRequest q;
    try {
        q = parseStart(body);
    } catch (const Refused& refused) {
        m_wrongCodes.take(client);
        done(replyOf(refused.refusal()));
        return;
    }
    if (const int wait = m_starts.take(codeHash(q.code))) {
        done(replyOf(tooMany(wait)));
        return;
    }
    m_database.run([q](PgLink& db) { return startRun(db, q); },
                   [this, client, done = std::move(done)](Reply reply) {
                       if (reply.error == classapi::error::codeUnknown ||
                           reply.error == classapi::error::sittingUnknown)
                           m_wrongCodes.take(client);
                       done(std::move(reply));
                   });
}

void Api::forRun(const std::string& token, Database::Work work, std::function<void(Reply)> done) {
    if (const int wait = m_runs.take(token)) {
        done(replyOf(tooMany(wait)));
        return;
    }
    m_database.run(std::move(work), std::move(done));
}

} // namespace kvserver
