#include "pglink.h"

#include "log.h"
#include "refusal.h"

#include <cstdlib>
#include <libpq-fe.h>
#include <stdexcept>

namespace kvserver {

PgRows::~PgRows() {
    PQclear(m_result);
}

int PgRows::rows() const {
    return PQntuples(m_result);
}

bool PgRows::isNull(int row, int column) const {
    return PQgetisnull(m_result, row, column);
}

std::string_view PgRows::text(int row, int column) const {
    return {PQgetvalue(m_result, row, column), std::size_t(PQgetlength(m_result, row, column))};
}

long long PgRows::integer(int row, int column) const {
    return std::strtoll(PQgetvalue(m_result, row, column), nullptr, 10);
}

double PgRows::number(int row, int column) const {
    return std::strtod(PQgetvalue(m_result, row, column), nullptr);
}

bool PgRows::flag(int row, int column) const {
    return PQgetvalue(m_result, row, column)[0] == 't';
}

PgLink::~PgLink() {
    drop();
}

void PgLink::drop() {
    PQfinish(m_conn);
    m_conn = nullptr;
}

void PgLink::connect() {
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        return;
    drop();
    // A database that just refused is not asked again at once by every request.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastFailure < std::chrono::milliseconds(500))
        throw PgLost{"база недавно не ответила"};
    m_conn = PQconnectdb(m_conninfo.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string why = PQerrorMessage(m_conn);
        drop();
        m_lastFailure = now;
        throw PgLost{why};
    }
}

namespace {

// Parameters as libpq takes them; the pointers stay valid while `params` lives.
struct Values {
    explicit Values(const std::vector<PgParam>& params) {
        for (const PgParam& p : params) {
            values.push_back(p.null ? nullptr : p.value.c_str());
            lengths.push_back(int(p.value.size()));
            formats.push_back(p.binary ? 1 : 0);
        }
    }
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
};

bool succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
}

} // namespace

PgLost PgLink::lost(const std::string& why) {
    drop();
    return PgLost{why};
}

PgRows PgLink::exec(const char* sql, const std::vector<PgParam>& params, bool binaryResult) {
    connect();
    const Values v(params);
    PGresult* result = PQexecParams(m_conn, sql, int(params.size()), nullptr, v.values.data(),
                                    v.lengths.data(), v.formats.data(), binaryResult ? 1 : 0);
    if (!succeeded(result))
        fail(result);
    return PgRows(result);
}

std::vector<PgRows> PgLink::pipeline(const std::vector<PgStatement>& statements) {
    connect();
    if (PQenterPipelineMode(m_conn) != 1)
        throw lost(PQerrorMessage(m_conn));
    for (const PgStatement& s : statements) {
        const Values v(s.params);
        if (PQsendQueryParams(m_conn, s.sql, int(s.params.size()), nullptr, v.values.data(),
                              v.lengths.data(), v.formats.data(), s.binaryResult ? 1 : 0) != 1 ||
            PQpipelineSync(m_conn) != 1)
            throw lost(PQerrorMessage(m_conn));
    }
    // Each statement gives its result, the end of its results, then its sync.
    std::vector<PgRows> rows;
    PGresult* failure = nullptr;
    for (std::size_t i = 0; i < statements.size(); ++i) {
        PGresult* result = PQgetResult(m_conn);
        PGresult* end = result ? PQgetResult(m_conn) : nullptr;
        PGresult* sync = result && !end ? PQgetResult(m_conn) : nullptr;
        const bool inStep = result && !end && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
        PQclear(end);
        PQclear(sync);
        if (!inStep || PQstatus(m_conn) != CONNECTION_OK) {
            const std::string why = result ? PQresultErrorMessage(result) : PQerrorMessage(m_conn);
            PQclear(result);
            PQclear(failure);
            throw lost(why.empty() ? PQerrorMessage(m_conn) : why);
        }
        if (succeeded(result)) {
            rows.emplace_back(result);
        } else {
            rows.emplace_back();
            if (failure)
                PQclear(result);
            else
                failure = result;
        }
    }
    if (PQexitPipelineMode(m_conn) != 1) {
        PQclear(failure);
        throw lost(PQerrorMessage(m_conn));
    }
    if (failure)
        fail(failure);
    return rows;
}

void PgLink::fail(PGresult* result) {
    const char* field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string state = field ? field : "";
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const std::string detail = primary ? primary : "";
    const std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(m_conn);
    PQclear(result);
    if (PQstatus(m_conn) != CONNECTION_OK || state.empty() || state.rfind("08", 0) == 0 ||
        state.rfind("57P", 0) == 0)
        throw lost(message);
    if (std::optional<Refusal> refusal = refusalForSqlState(state)) {
        // The functions' own words for a value they refuse ("недопустимое имя ученика").
        if (state == "KV006" && !detail.empty())
            refusal->message = "Сервер класса не принял запрос: " + detail.substr(0, 200) + ".";
        if (refusal->status >= 500)
            logLine("база данных: " + state + " " + message);
        throw Refused(*refusal);
    }
    throw std::runtime_error(state + " " + message);
}

} // namespace kvserver
