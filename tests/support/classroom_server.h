#pragma once

#include "error.h"
#include "pgcluster.h"
#include "publish.h"
#include "schema.h"
#include "sitting.h"

#include <QTemporaryDir>
#include <memory>

// A classroom server for a test: a throwaway cluster with the schema made by the tool and
// passwords set for the teacher's role and the server's, as an administrator would set them.
class ClassroomServer {
public:
    static constexpr const char* teacherPassword = "teacher pw";
    static constexpr const char* daemonPassword = "kviront-server pw";

    explicit ClassroomServer(const PgCluster::Options& options = {}) : cluster(options) {
        if (!cluster.ok()) {
            m_error = cluster.error();
            return;
        }
        try {
            serverschema::init(cluster.superConninfo());
        } catch (const Error& e) {
            m_error = e.message();
            return;
        }
        m_error =
            cluster.superSql(QStringLiteral("ALTER ROLE kviront_teacher PASSWORD 'teacher pw';"
                                            "ALTER ROLE kviront PASSWORD 'kviront-server pw';"));
    }

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    QString teacher() const {
        return cluster.conninfo(QStringLiteral("kviront_teacher"), QLatin1String(teacherPassword));
    }
    // The role kviront-server logs in as.
    QString daemon() const {
        return cluster.conninfo(QStringLiteral("kviront"), QLatin1String(daemonPassword));
    }

    // A sitting of a published bank opened through the teacher tool's code, with `codes`
    // codes without names; its files go to a folder of the server's own.
    serversitting::Opened openSitting(const QString& bank, const QString& name, int codes,
                                      QChar separator = QLatin1Char(','), int seconds = 35) const {
        serversitting::OpenOptions o;
        o.conninfo = teacher();
        o.bank = bank;
        o.name = name;
        o.seconds = seconds;
        o.separator = separator;
        o.count = codes;
        o.url = QStringLiteral("https://127.0.0.1:8443");
        o.certificate = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
        o.link = m_files.filePath(serversitting::fileNameFor(name, QStringLiteral(".mdb")));
        o.slips = m_files.filePath(serversitting::fileNameFor(name, QStringLiteral(".html")));
        return serversitting::open(o);
    }

    serverpublish::Result publish(const QString& bank, const QString& name) const {
        return serverpublish::publish({bank, teacher(), name});
    }

    PgCluster cluster;

private:
    QString m_error;
    QTemporaryDir m_files;
};
