// kviront-bank: makes, converts, imports, exports, checks and publishes question banks;
// `kviront-bank --help` lists its commands.
#include "bankcommands.h"
#include "formats.h"
#include "servercommands.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

// Qt's own warnings are English notes for the program's developers; the user reads the tool's
// messages only. A fatal one is said before Qt ends the tool.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    QCoreApplication app(argc, argv);
    formats::resetFromHostLocale(); // numbers read with the system's decimal separator
    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::Tool tool = banktool::commandLine();
    tool.commands += servercommands::commands();
    return cli::run(tool, app.arguments().mid(1), out, err);
}
