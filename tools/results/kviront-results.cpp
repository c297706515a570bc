// kviront-results FOLDER_OR_FILES… [-o REPORT.html] [--csv PREFIX]: the class report over a
// folder of test protocols; --server CONNINFO [--bank NAME] [--since DATE] adds the runs on the
// classroom server.
#include "results_tool.h"
#include "serverresults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    args.removeFirst();
    const QString madeAt = QDateTime::currentDateTime().toString(QStringLiteral("d.MM.yyyy hh:mm"));
    return results::runTool(args, madeAt, out, err, serverresults::read);
}
