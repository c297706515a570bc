#pragma once

#include "pgcluster.h"

#include <QProcess>
#include <QTemporaryDir>

// PgBouncer in transaction mode in front of a throwaway cluster, for the benchmark: Debian's
// pgbouncer with a config of its own in a temporary folder, on a Unix socket only. Never
// touches a system PgBouncer. The users named log in as on the cluster: the pooler holds their
// SCRAM secrets as the cluster keeps them, and logs in to the cluster with the client's proof,
// as an administrator would set it up.
class PgBouncer {
public:
    static constexpr int port = 6432;

    PgBouncer(const PgCluster& cluster, const QStringList& users, int maxClients, int poolSize);
    ~PgBouncer();

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    QString conninfo(const QString& user, const QString& password) const;
    QString socketDir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
};
