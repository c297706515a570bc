// The class server of test_class_page.py, one trainee named as a hostile page would wish: prints
// one JSON line of what the test needs and runs until its standard input closes.
#include "class_server.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ClassServer::Options o;
    o.trainees = {QStringLiteral("Иванов Иван"),
                  QStringLiteral("<script>document.title='взломано'</script><b>Петров</b> & Co"),
                  QStringLiteral("Сидорова Анна")};
    o.unnamedCodes = 0;
    o.records = 4;
    o.seconds = 30;
    o.grades = {90, 70, 50};
    o.sitting = QStringLiteral("9А «Физика» <i>контрольная</i>");
    ClassServer server(o);
    if (!server.cluster.ok()) {
        std::printf("SKIP: needs a PostgreSQL 15 cluster of its own, which cannot start here: %s\n",
                    qPrintable(server.cluster.error()));
        return 0;
    }
    if (!server.ok()) {
        std::fprintf(stderr, "the class server did not start: %s\n", qPrintable(server.error()));
        return 1;
    }
    QJsonArray codes, names;
    for (const serversitting::Code& c : server.codes()) {
        codes.append(c.code);
        names.append(c.trainee);
    }
    const QJsonObject out{{"port", server.port()},
                          {"certificate", server.certificateFile()},
                          {"sitting", server.sitting()},
                          {"key", server.teacherKey()},
                          {"codes", codes},
                          {"names", names},
                          {"records", o.records}};
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
    }
    return 0;
}
