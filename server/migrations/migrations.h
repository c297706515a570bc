#pragma once

#include <string_view>
#include <vector>

// The schema's migrations, compiled in from server/migrations/NNN_name.sql.
namespace servermigrations {

struct Migration {
    int number;
    std::string_view name; // "004_sittings.sql"
    std::string_view sql;
};

// Every migration, in order of number.
const std::vector<Migration>& all();

} // namespace servermigrations
