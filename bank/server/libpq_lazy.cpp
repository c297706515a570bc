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
void PQclear(PGresult* res) {
    if (!res)
        return;
    KV_REAL(PQclear);
    real(res);
}
void PQfinish(PGconn* conn) {
    if (!conn)
        return;
    KV_REAL(PQfinish);
    real(conn);
}
void PQfreemem(void* ptr) {
    if (!ptr)
        return;
    KV_REAL(PQfreemem);
    real(ptr);
}
void PQconninfoFree(PQconninfoOption* connOptions) {
    if (!connOptions)
        return;
    KV_REAL(PQconninfoFree);
    real(connOptions);
}

PGconn* PQconnectdbParams(const char* const* keywords, const char* const* values,
                          int expand_dbname) {
    KV_REAL(PQconnectdbParams);
    return real(keywords, values, expand_dbname);
}
PGPing PQpingParams(const char* const* keywords, const char* const* values, int expand_dbname) {
    KV_REAL(PQpingParams);
    return real(keywords, values, expand_dbname);
}
PQconninfoOption* PQconninfoParse(const char* conninfo, char** errmsg) {
    KV_REAL(PQconninfoParse);
    return real(conninfo, errmsg);
}
ConnStatusType PQstatus(const PGconn* conn) {
    KV_REAL(PQstatus);
    return real(conn);
}
char* PQerrorMessage(const PGconn* conn) {
    KV_REAL(PQerrorMessage);
    return real(conn);
}
char* PQdb(const PGconn* conn) {
    KV_REAL(PQdb);
    return real(conn);
}
char* PQhost(const PGconn* conn) {
    KV_REAL(PQhost);
    return real(conn);
}
char* PQport(const PGconn* conn) {
    KV_REAL(PQport);
    return real(conn);
}
char* PQuser(const PGconn* conn) {
    KV_REAL(PQuser);
    return real(conn);
}
int PQsocket(const PGconn* conn) {
    KV_REAL(PQsocket);
    return real(conn);
}
int PQconsumeInput(PGconn* conn) {
    KV_REAL(PQconsumeInput);
    return real(conn);
}
int PQisBusy(PGconn* conn) {
    KV_REAL(PQisBusy);
    return real(conn);
}
int PQsetSingleRowMode(PGconn* conn) {
    KV_REAL(PQsetSingleRowMode);
    return real(conn);
}
PGresult* PQgetResult(PGconn* conn) {
    KV_REAL(PQgetResult);
    return real(conn);
}
PGresult* PQexec(PGconn* conn, const char* query) {
    KV_REAL(PQexec);
    return real(conn, query);
}
PGresult* PQexecParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                       const char* const* paramValues, const int* paramLengths,
                       const int* paramFormats, int resultFormat) {
    KV_REAL(PQexecParams);
    return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
                resultFormat);
}
int PQsendQueryParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                      const char* const* paramValues, const int* paramLengths,
                      const int* paramFormats, int resultFormat) {
    KV_REAL(PQsendQueryParams);
    return real(conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
                resultFormat);
}
ExecStatusType PQresultStatus(const PGresult* res) {
    KV_REAL(PQresultStatus);
    return real(res);
}
char* PQresultErrorMessage(const PGresult* res) {
    KV_REAL(PQresultErrorMessage);
    return real(res);
}
char* PQresultErrorField(const PGresult* res, int fieldcode) {
    KV_REAL(PQresultErrorField);
    return real(res, fieldcode);
}
int PQntuples(const PGresult* res) {
    KV_REAL(PQntuples);
    return real(res);
}
char* PQgetvalue(const PGresult* res, int tup_num, int field_num) {
    KV_REAL(PQgetvalue);
    return real(res, tup_num, field_num);
}
int PQgetlength(const PGresult* res, int tup_num, int field_num) {
    KV_REAL(PQgetlength);
    return real(res, tup_num, field_num);
}
int PQgetisnull(const PGresult* res, int tup_num, int field_num) {
    KV_REAL(PQgetisnull);
    return real(res, tup_num, field_num);
}
unsigned char* PQunescapeBytea(const unsigned char* strtext, size_t* retbuflen) {
    KV_REAL(PQunescapeBytea);
    return real(strtext, retbuflen);
}

} // extern "C"
