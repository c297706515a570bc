// kviront-bank: makes, converts, imports, exports, checks and publishes question banks;
// `kviront-bank --help` lists its commands.
#include "bankcommands.h"
#include "formats.h"
#include "servercommands.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    formats::resetFromHostLocale(); // numbers read with the system's decimal separator
    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::Tool tool = banktool::commandLine();
    tool.commands += servercommands::commands();
    return cli::run(tool, app.arguments().mid(1), out, err);
}
