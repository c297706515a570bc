#include "dbsetup.h"

#include "migrations.h"

#include <libpq-fe.h>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kvserver {
namespace {

// The same key as "kviront-bank server init": one schema change at a time on a server.
constexpr const char* initLock = "SELECT pg_advisory_xact_lock(30248017771589236)";

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Connection connect(const char* conninfo) {
    Connection c(PQconnectdb(conninfo), &PQfinish);
    if (PQstatus(c.get()) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(c.get()));
    return c;
}

// One statement (or a script), its values as parameters; throws the server's message.
Result exec(PGconn* c, const std::string& sql, const std::vector<std::string>& values = {}) {
    std::vector<const char*> params;
    for (const std::string& v : values)
        params.push_back(v.c_str());
    Result r(values.empty() ? PQexec(c, sql.c_str())
                            : PQexecParams(c, sql.c_str(), int(params.size()), nullptr,
                                           params.data(), nullptr, nullptr, 0),
             &PQclear);
    const ExecStatusType s = PQresultStatus(r.get());
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
        throw std::runtime_error(PQresultErrorMessage(r.get()));
    return r;
}

std::string value(PGconn* c, const std::string& sql, const std::vector<std::string>& values = {}) {
    const Result r = exec(c, sql, values);
    return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

void applyMigrations(PGconn* c, std::string& said) {
    exec(c, "BEGIN");
    try {
        exec(c, initLock);
        const int from =
            value(c, "SELECT to_regclass('kviront.schema_version') IS NOT NULL") == "t"
                ? std::stoi(
                      value(c, "SELECT coalesce(max(version), 0) FROM kviront.schema_version"))
                : 0;
        const int latest = servermigrations::all().back().number;
        if (from > latest)
            throw std::runtime_error("схема базы новее этой программы (версия " +
                                     std::to_string(from) + "): обновите kviront-server");
        std::string applied;
        for (const servermigrations::Migration& m : servermigrations::all()) {
            if (m.number <= from)
                continue;
            exec(c, std::string(m.sql));
            exec(c, "INSERT INTO kviront.schema_version (version, name) VALUES ($1, $2)",
                 {std::to_string(m.number), std::string(m.name)});
            applied += (applied.empty() ? "" : ", ") + std::string(m.name);
        }
        exec(c, "COMMIT");
        said += applied.empty()
                    ? "Схема базы уже последней версии (" + std::to_string(from) + ").\n"
                    : "Схема базы: версия " + std::to_string(from) + " → " +
                          std::to_string(latest) + " (" + applied + ").\n";
    } catch (...) {
        PQexec(c, "ROLLBACK");
        throw;
    }
}

} // namespace

int prepareDatabase(const std::string& url, const std::string& certificatePem, std::string& said) {
    try {
        Connection admin = connect("dbname=postgres connect_timeout=10");
        if (std::stoi(value(admin.get(), "SHOW server_version_num")) < 150000)
            throw std::runtime_error("нужен PostgreSQL 15 или новее");
        if (value(admin.get(), "SELECT count(*) FROM pg_database WHERE datname = 'kviront'") ==
            "0") {
            exec(admin.get(), "CREATE DATABASE kviront ENCODING 'UTF8' TEMPLATE template0");
            said += "База kviront создана.\n";
        } else {
            said += "База kviront уже есть.\n";
        }
        Connection c = connect("dbname=kviront connect_timeout=10");
        applyMigrations(c.get(), said);
        const Result r = exec(
            c.get(),
            "INSERT INTO kviront.server_identity (id, url, certificate) VALUES (1, $1, $2) "
            "ON CONFLICT (id) DO UPDATE SET url = EXCLUDED.url, certificate = "
            "EXCLUDED.certificate, updated_at = now() WHERE (server_identity.url, "
            "server_identity.certificate) IS DISTINCT FROM (EXCLUDED.url, EXCLUDED.certificate)",
            {url, certificatePem});
        said += std::string(PQcmdTuples(r.get())) == "1"
                    ? "Адрес и сертификат сервера записаны в базу (их возьмёт «sitting open»).\n"
                    : "Адрес и сертификат сервера в базе те же.\n";
        return 0;
    } catch (const std::exception& e) {
        said += std::string("PostgreSQL: ") + e.what();
        if (said.back() != '\n')
            said += '\n';
        return 1;
    }
}

int checkDaemonLogin(std::string& said) {
    try {
        Connection c = connect("dbname=kviront user=kviront connect_timeout=10");
        if (value(c.get(), "SELECT has_function_privilege('kviront_api.sitting_start(text, "
                           "bytea, text, text)', 'EXECUTE')") != "t")
            throw std::runtime_error("роли kviront не даны функции сервера");
        said += "Вход сервера в базу (роль kviront, по имени системного пользователя) работает.\n";
        return 0;
    } catch (const std::exception& e) {
        said += std::string("Сервер не может войти в базу как kviront: ") + e.what();
        if (said.back() != '\n')
            said += '\n';
        return 1;
    }
}

} // namespace kvserver
