#pragma once

#include "pglink.h"
#include "reply.h"

#include <string>

// The class page's operations as the database does them, each for the sitting whose teacher
// key hashes to `keyHash` (a key that opens none is refused, 401): the state of the class as
// JSON, closing the sitting, letting a trainee go on on another computer, a run's answer sheet.
namespace kvserver {

// Only checks the key. Throws Refused.
void requireSitting(PgLink& db, const std::string& keyHash);
Reply classState(PgLink& db, const std::string& keyHash);
Reply closeSitting(PgLink& db, const std::string& keyHash);
Reply allowRehost(PgLink& db, const std::string& keyHash, int position);
// The sheet of the run of the code at `position` of the class list, as a page whose style is
// linked from `styleHref`.
Reply sheetPage(PgLink& db, const std::string& keyHash, int position, const std::string& styleHref);

} // namespace kvserver
