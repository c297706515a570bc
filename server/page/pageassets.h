#pragma once

#include <optional>
#include <string_view>
#include <utility>

// The class page's files as built in: "login.html", "class.html", "class.js", "class.css".
namespace pageassets {

std::optional<std::string_view> find(std::string_view name);

} // namespace pageassets
