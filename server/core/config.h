#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The daemon's configuration, /etc/kviront/server.conf: "key = value" lines, "#" comments.
// Every key is known and every value checked; a wrong file is refused with its line.
namespace kvserver {

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error; // a Russian message, UTF-8
};

struct Config {
    std::string listen = "0.0.0.0"; // an IPv4 or IPv6 address; "::" takes both
    int port = 8443;                // 0: any free port (tests)
    std::string certificate = "/etc/kviront/server.crt";
    std::string key = "/etc/kviront/server.key";
    // The database as libpq keywords: only host, port, dbname, user, password, connect_timeout.
    // By default the local socket, and the system user's own name by peer authentication.
    std::string database = "dbname=kviront user=kviront";
    int pool = 4;    // database connections, each with a worker thread of its own
    int threads = 2; // network threads
    int maxConnections = 4096;
    // Generous: a school's whole class may reach the server through one NAT address.
    int connectionsPerAddress = 256;
    int handshakeSeconds = 10; // the TLS handshake and a request's header
    int bodySeconds = 10;      // a request's body
    int idleSeconds = 60;      // a kept-alive connection between requests
    int statementTimeoutMs = 5000;
    int lockTimeoutMs = 2000;
    int queuePerConnection = 64; // requests waiting for the database, per connection
    int drainSeconds = 10;       // what SIGTERM waits for requests in flight
    // Rate limits: starts per code, starts with a wrong code per client address, requests per
    // run; each a burst and a rate.
    int startBurst = 10;
    double startPerMinute = 30;
    int wrongCodeBurst = 60;
    double wrongCodePerMinute = 30;
    int runBurst = 60;
    double runPerSecond = 20;
};

// Reads the configuration text; `origin` names it in messages. Throws ConfigError.
Config parseConfig(std::string_view text, const std::string& origin);
// Reads the file. Throws ConfigError.
Config loadConfig(const std::string& path);
// The file's text for `config`, as setup writes it, with a comment for every key.
std::string renderConfig(const Config& config);

// The keywords and values of the database setting, checked: only the allowed keywords, no
// host list. Throws ConfigError.
std::vector<std::pair<std::string, std::string>> databaseValues(std::string_view conninfo);
// The connection string the daemon uses: the setting's values, its name for the server's
// logs, and the timeouts every session keeps.
std::string daemonConninfo(const Config& config);
// A value quoted for a connection string.
std::string quoteConninfoValue(std::string_view value);

} // namespace kvserver
