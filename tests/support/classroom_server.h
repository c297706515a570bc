#pragma once

#include "error.h"
#include "pgcluster.h"
#include "publish.h"
#include "schema.h"

#include <memory>

// A classroom server for a test: a throwaway cluster with the schema made by the tool and
// passwords set for the teacher and trainee roles, as an administrator would set them.
class ClassroomServer {
public:
    static constexpr const char* teacherPassword = "teacher pw";
    static constexpr const char* traineePassword = "trainee 'pw'";

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
        m_error = cluster.superSql(
            QStringLiteral("ALTER ROLE kviront_teacher PASSWORD 'teacher pw';"
                           "ALTER ROLE kviront_trainee PASSWORD 'trainee ''pw''';"));
    }

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    QString teacher() const {
        return cluster.conninfo(QStringLiteral("kviront_teacher"), QLatin1String(teacherPassword));
    }
    QString trainee() const {
        return cluster.conninfo(QStringLiteral("kviront_trainee"), QLatin1String(traineePassword));
    }

    serverpublish::Result publish(const QString& bank, const QString& name,
                                  const QString& link = QString()) const {
        serverpublish::Options o;
        o.bank = bank;
        o.conninfo = teacher();
        o.name = name;
        o.link = link;
        o.traineeConninfo = link.isEmpty() ? QString() : trainee();
        return serverpublish::publish(o);
    }

    PgCluster cluster;

private:
    QString m_error;
};
