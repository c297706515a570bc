#pragma once

#include "pglink.h"
#include "reply.h"
#include "requests.h"

// The API's operations as the database does them: each a call of the server's SQL functions
// in a short transaction of its own, its reply built from what they return.
namespace kvserver {

Reply startRun(PgLink& db, const StartRequest& request);
Reply question(PgLink& db, const RecordRequest& request);
// Records the answer and commits, and only then, in a later transaction, reads its right
// answer: a right answer leaves the database only for an answer already stored.
Reply answer(PgLink& db, const AnswerRequest& request);
Reply finishRun(PgLink& db, const FinishRequest& request);
Reply health(PgLink& db);

// sha256 of the normalised code, as the codes table keeps it.
std::string codeHash(const std::string& code);

} // namespace kvserver
