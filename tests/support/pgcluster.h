#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A throwaway PostgreSQL cluster for the tests and benchmarks that need a real server:
// Debian's initdb and postgres from /usr/lib/postgresql/15/bin, in a temporary folder, on a
// Unix socket only (no TCP), password logins only. Never touches a system cluster.
//
// PostgreSQL refuses to run as root: under root the cluster runs as the `postgres` user,
// which owns the temporary folder. The server is a direct child of this process and is told
// to quit when this process dies, crashed or not, so no stray server outlives a test.
class PgCluster {
public:
    struct Options {
        bool fsync = false; // benchmarks measure with it on
        int maxConnections = 40;
        QStringList settings; // more "name = value" lines for postgresql.conf
    };

    static constexpr const char* superUser = "postgres";
    static constexpr const char* superPassword = "kv-test-super";
    static constexpr const char* database = "kviront";

    // Makes and starts the cluster with a database `database`; ok() tells, error() why not.
    PgCluster();
    explicit PgCluster(const Options& options);
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    QString socketDir() const;
    int port() const { return m_port; }
    QString conninfo(const QString& user, const QString& password,
                     const QString& db = QLatin1String(database)) const;
    QString superConninfo(const QString& db = QLatin1String(database)) const;

    // Stops the server (a fast shutdown: sessions are ended) and starts it again.
    void stop();
    bool start();
    bool restart() {
        stop();
        return start();
    }

    // Runs SQL as the superuser (several statements allowed); the error text, empty on success.
    QString superSql(const QString& sql, const QString& db = QLatin1String(database)) const;

    // Runs one of the server's programs (pgbench, psql …) as a client, with the superuser's
    // password in its environment. Returns the exit code; output and errors in `output`.
    int runClient(const QString& program, const QStringList& args, QByteArray* output,
                  int timeoutMs = 600000) const;

    static QString binDir();

private:
    bool initialise(const Options& options);
    bool runAsOwner(const QString& program, const QStringList& args, QString* output);
    void configureChild(QProcess& process) const;

    QTemporaryDir m_dir;
    QString m_error;
    int m_port = 5432;
    int m_uid = -1; // the account the server runs under when we are root; -1 otherwise
    int m_gid = -1;
    std::unique_ptr<QProcess> m_server;
};
