#pragma once

#include <QString>
#include <QTest>
#include <cstdio>

// Skips the whole test, saying what it needs that this machine lacks (a printer queue, an X
// server, a PostgreSQL cluster of its own). The "SKIP: " line is what CTest reports the test
// as skipped by, so that a build without the service passes without pretending to have run it.
#define KV_SKIP(why)                                                                               \
    do {                                                                                           \
        const QString kvWhy = (why);                                                               \
        std::printf("SKIP: %s\n", kvWhy.toUtf8().constData());                                     \
        std::fflush(stdout);                                                                       \
        QSKIP(qPrintable(kvWhy));                                                                  \
    } while (false)

// For a server test's first step: where no throwaway cluster can start here (no PostgreSQL 15,
// no account to run it under, a build environment that runs no server), the test is skipped
// with the reason. A cluster that started and a failure after it are the test's own.
#define KV_REQUIRE_CLUSTER(cluster)                                                                \
    do {                                                                                           \
        if (!(cluster).ok())                                                                       \
            KV_SKIP(QStringLiteral("needs a PostgreSQL 15 cluster of its own, which cannot "       \
                                   "start here: ") +                                               \
                    (cluster).error());                                                            \
    } while (false)
