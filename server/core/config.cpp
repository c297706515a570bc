#include "config.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <libpq-fe.h>
#include <memory>
#include <sstream>
#include <variant>

namespace kvserver {
namespace {

struct Key {
    const char* name;
    std::variant<std::string Config::*, int Config::*, double Config::*> member;
    double low = 0, high = 0; // for numbers
    const char* comment;
};

// Every key of the file, in the order setup writes them.
const Key keys[] = {
    {"listen", &Config::listen, 0, 0, "адрес, на котором сервер ждёт учеников (:: — все)"},
    {"port", &Config::port, 0, 65535, "порт HTTPS"},
    {"certificate", &Config::certificate, 0, 0, "сертификат сервера (PEM)"},
    {"key", &Config::key, 0, 0, "закрытый ключ сервера (PEM)"},
    {"database", &Config::database, 0, 0,
     "база: host, port, dbname, user, password, connect_timeout"},
    {"pool", &Config::pool, 1, 64, "соединений с базой"},
    {"threads", &Config::threads, 1, 64, "сетевых потоков"},
    {"max_connections", &Config::maxConnections, 1, 100000, "соединений всего"},
    {"connections_per_address", &Config::connectionsPerAddress, 1, 100000,
     "соединений с одного адреса (класс за NAT — один адрес)"},
    {"handshake_timeout", &Config::handshakeSeconds, 1, 300, "секунд на TLS и заголовок запроса"},
    {"body_timeout", &Config::bodySeconds, 1, 300, "секунд на тело запроса"},
    {"idle_timeout", &Config::idleSeconds, 1, 3600, "секунд простоя соединения"},
    {"statement_timeout_ms", &Config::statementTimeoutMs, 100, 600000,
     "миллисекунд на запрос к базе"},
    {"lock_timeout_ms", &Config::lockTimeoutMs, 100, 600000,
     "миллисекунд ожидания блокировки в базе"},
    {"queue_per_connection", &Config::queuePerConnection, 1, 10000,
     "запросов в очереди к базе на одно соединение"},
    {"drain_timeout", &Config::drainSeconds, 0, 600,
     "секунд на завершение начатых запросов при остановке"},
    {"start_burst", &Config::startBurst, 1, 100000, "начал теста по одному коду подряд"},
    {"start_per_minute", &Config::startPerMinute, 0.01, 100000, "начал теста по коду в минуту"},
    {"wrong_code_burst", &Config::wrongCodeBurst, 1, 100000,
     "неверных кодов с одного адреса подряд"},
    {"wrong_code_per_minute", &Config::wrongCodePerMinute, 0.01, 100000,
     "неверных кодов с одного адреса в минуту"},
    {"run_burst", &Config::runBurst, 1, 100000, "запросов одного теста подряд"},
    {"run_per_second", &Config::runPerSecond, 0.01, 100000, "запросов одного теста в секунду"},
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string numberText(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace

Config parseConfig(std::string_view text, const std::string& origin) {
    Config config;
    std::vector<std::string> seen;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = origin + ", строка " + std::to_string(lineNumber) + ": ";
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            throw ConfigError(where + "нужно «ключ = значение»");
        const std::string name(trimmed(line.substr(0, equals)));
        const std::string_view value = trimmed(line.substr(equals + 1));
        const Key* key = nullptr;
        for (const Key& k : keys)
            if (name == k.name)
                key = &k;
        if (!key)
            throw ConfigError(where + "неизвестный ключ «" + name.substr(0, 64) + "»");
        for (const std::string& s : seen)
            if (s == name)
                throw ConfigError(where + "ключ «" + name + "» задан второй раз");
        seen.push_back(name);
        const std::string outOfRange = where + "«" + name + "» должно быть числом от " +
                                       numberText(key->low) + " до " + numberText(key->high);
        if (auto text = std::get_if<std::string Config::*>(&key->member)) {
            if (value.empty())
                throw ConfigError(where + "у «" + name + "» нет значения");
            config.*(*text) = std::string(value);
        } else if (auto number = std::get_if<int Config::*>(&key->member)) {
            int n = 0;
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc() || ptr != value.data() + value.size() || n < key->low ||
                n > key->high)
                throw ConfigError(outOfRange);
            config.*(*number) = n;
        } else {
            double d = 0;
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), d);
            if (ec != std::errc() || ptr != value.data() + value.size() || !std::isfinite(d) ||
                d < key->low || d > key->high)
                throw ConfigError(outOfRange);
            config.*std::get<double Config::*>(key->member) = d;
        }
    }
    try {
        databaseValues(config.database);
    } catch (const ConfigError& e) {
        throw ConfigError(origin + ": " + e.what());
    }
    return config;
}

Config loadConfig(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ConfigError("Не читается файл настроек " + path +
                          " (его пишет «sudo kviront-server setup»)");
    std::ostringstream text;
    text << in.rdbuf();
    if (text.str().size() > 64 * 1024)
        throw ConfigError("Файл настроек " + path + " слишком велик");
    return parseConfig(text.str(), path);
}

std::string renderConfig(const Config& config) {
    std::string out = "# Сервер класса kviront-server (man kviront-server).\n";
    for (const Key& k : keys) {
        out += "\n# " + std::string(k.comment) + "\n" + k.name + " = ";
        if (auto text = std::get_if<std::string Config::*>(&k.member))
            out += config.*(*text);
        else if (auto number = std::get_if<int Config::*>(&k.member))
            out += std::to_string(config.*(*number));
        else
            out += numberText(config.*std::get<double Config::*>(k.member));
        out += "\n";
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> databaseValues(std::string_view conninfo) {
    char* error = nullptr;
    const std::string text(conninfo);
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(text.c_str(), &error), &PQconninfoFree);
    if (!options) {
        PQfreemem(error);
        throw ConfigError("строка «database» не читается как строка подключения к базе");
    }
    static const std::string_view allowed[] = {"host", "port",     "dbname",
                                               "user", "password", "connect_timeout"};
    std::vector<std::pair<std::string, std::string>> values;
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (!o->val)
            continue;
        const std::string_view keyword = o->keyword;
        bool ok = false;
        for (std::string_view a : allowed)
            ok = ok || keyword == a;
        if (!ok)
            throw ConfigError("в «database» недопустимый ключ «" + std::string(keyword) +
                              "» (можно: host, port, dbname, user, password, connect_timeout)");
        const std::string_view value = o->val;
        if ((keyword == "host" || keyword == "port") && value.find(',') != value.npos)
            throw ConfigError("в «database» список серверов не допускается");
        if (keyword == "connect_timeout") {
            int n = 0;
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc() || ptr != value.data() + value.size() || n < 1 || n > 60)
                throw ConfigError("в «database» connect_timeout должен быть от 1 до 60 секунд");
        }
        values.emplace_back(keyword, value);
    }
    return values;
}

std::string quoteConninfoValue(std::string_view value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "'";
}

std::string daemonConninfo(const Config& config) {
    std::string out;
    bool timeout = false;
    for (const auto& [keyword, value] : databaseValues(config.database)) {
        out += keyword + "=" + quoteConninfoValue(value) + " ";
        timeout = timeout || keyword == "connect_timeout";
    }
    if (!timeout)
        out += "connect_timeout=5 ";
    // Every session bounded, whatever the role's defaults say.
    out += "application_name=kviront-server options=" +
           quoteConninfoValue("-c statement_timeout=" + std::to_string(config.statementTimeoutMs) +
                              " -c lock_timeout=" + std::to_string(config.lockTimeoutMs) +
                              " -c idle_in_transaction_session_timeout=" +
                              std::to_string(config.statementTimeoutMs * 2));
    return out;
}

} // namespace kvserver
