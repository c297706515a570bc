#pragma once

// What the server tests share: their classroom server started (or the test skipped where no
// cluster can start), a value read as the superuser, the kind of a refusal, a code's hash.
#include "classroom_server.h"
#include "pgconnection.h"
#include "skip.h"

#include <QCryptographicHash>
#include <functional>

#define KV_START_SERVER(server)                                                                    \
    do {                                                                                           \
        (server) = std::make_unique<ClassroomServer>();                                            \
        KV_REQUIRE_CLUSTER((server)->cluster);                                                     \
        QVERIFY2((server)->ok(), qPrintable((server)->error()));                                   \
    } while (false)

namespace servertest {

inline QString superValue(const ClassroomServer& server, const QString& sql) {
    pg::Connection c(server.cluster.superConninfo());
    return c.exec(sql.toUtf8().constData()).text(0, 0);
}

// The kind of the ServerError `action` throws; Other when it throws none.
inline ServerError::Kind kindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ServerError& e) {
        return e.kind();
    }
    return ServerError::Kind::Other;
}

inline QString sha256Hex(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Sha256).toHex());
}

} // namespace servertest
