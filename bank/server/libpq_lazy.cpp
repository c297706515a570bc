// The functions of libpq this library calls, each looking its namesake up in libpq when first
// called. libpq brings TLS, Kerberos and LDAP libraries whose loading costs every start of the
// program milliseconds, yet only a classroom server needs them: they are loaded on the way to
// the first server. A function missing here is a link error, never a silent fallback.
#include "servererror.h"

#include <dlfcn.h>
#include <libpq-fe.h>

namespace {

void* library() {
    static void* handle = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    return handle;
}

template <class F> F lookUp(const char* name) {
    void* function = library() ? dlsym(library(), name) : nullptr;
    if (!function) {
        const char* why = dlerror();
        throw ServerError(ServerError::Kind::Other,
                          QStringLiteral("Не загружается библиотека клиента PostgreSQL "
                                         "libpq.so.5 (%1): без неё сервер класса недоступен")
                              .arg(QString::fromLocal8Bit(why ? why : name)));
    }
    return reinterpret_cast<F>(function);
}

} // namespace

// The real function, looked up once.
#define KV_REAL(name) static const auto real = lookUp<decltype(&name)>(#name)

extern "C" {

// Those that free: nothing to free needs no library.
#define KV_FREE(name, type)                                                                        \
    void name(type value) {                                                                        \
        if (!value)                                                                                \
            return;                                                                                \
        KV_REAL(name);                                                                             \
        real(value);                                                                               \
    }

KV_FREE(PQclear, PGresult*)
KV_FREE(PQfinish, PGconn*)
KV_FREE(PQfreemem, void*)
KV_FREE(PQconninfoFree, PQconninfoOption*)

#define KV_FORWARD(type, name, parameters, arguments)                                              \
    type name parameters {                                                                         \
        KV_REAL(name);                                                                             \
        return real arguments;                                                                     \
    }

KV_FORWARD(PGconn*, PQconnectdbParams,
           (const char* const* keywords, const char* const* values, int expand_dbname),
           (keywords, values, expand_dbname))
KV_FORWARD(PGPing, PQpingParams,
           (const char* const* keywords, const char* const* values, int expand_dbname),
           (keywords, values, expand_dbname))
KV_FORWARD(PQconninfoOption*, PQconninfoParse, (const char* conninfo, char** errmsg),
           (conninfo, errmsg))
KV_FORWARD(ConnStatusType, PQstatus, (const PGconn* conn), (conn))
KV_FORWARD(char*, PQerrorMessage, (const PGconn* conn), (conn))
KV_FORWARD(char*, PQdb, (const PGconn* conn), (conn))
KV_FORWARD(char*, PQhost, (const PGconn* conn), (conn))
KV_FORWARD(char*, PQport, (const PGconn* conn), (conn))
KV_FORWARD(char*, PQuser, (const PGconn* conn), (conn))
KV_FORWARD(int, PQsocket, (const PGconn* conn), (conn))
KV_FORWARD(int, PQconsumeInput, (PGconn * conn), (conn))
KV_FORWARD(int, PQisBusy, (PGconn * conn), (conn))
KV_FORWARD(int, PQsetSingleRowMode, (PGconn * conn), (conn))
KV_FORWARD(PGresult*, PQgetResult, (PGconn * conn), (conn))
KV_FORWARD(PGresult*, PQexec, (PGconn * conn, const char* query), (conn, query))
KV_FORWARD(PGresult*, PQexecParams,
           (PGconn * conn, const char* command, int nParams, const Oid* paramTypes,
            const char* const* paramValues, const int* paramLengths, const int* paramFormats,
            int resultFormat),
           (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
            resultFormat))
KV_FORWARD(int, PQsendQueryParams,
           (PGconn * conn, const char* command, int nParams, const Oid* paramTypes,
            const char* const* paramValues, const int* paramLengths, const int* paramFormats,
            int resultFormat),
           (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
            resultFormat))
KV_FORWARD(ExecStatusType, PQresultStatus, (const PGresult* res), (res))
KV_FORWARD(char*, PQresultErrorMessage, (const PGresult* res), (res))
KV_FORWARD(char*, PQresultErrorField, (const PGresult* res, int fieldcode), (res, fieldcode))
KV_FORWARD(int, PQntuples, (const PGresult* res), (res))
KV_FORWARD(char*, PQgetvalue, (const PGresult* res, int tup_num, int field_num),
           (res, tup_num, field_num))
KV_FORWARD(int, PQgetlength, (const PGresult* res, int tup_num, int field_num),
           (res, tup_num, field_num))
KV_FORWARD(int, PQgetisnull, (const PGresult* res, int tup_num, int field_num),
           (res, tup_num, field_num))
KV_FORWARD(unsigned char*, PQunescapeBytea, (const unsigned char* strtext, size_t* retbuflen),
           (strtext, retbuflen))

} // extern "C"
