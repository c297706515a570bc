// kviront-bank: makes, converts, imports, exports and checks question banks; `kviront-bank
// --help` lists its commands.
#include "bankcommands.h"
#include "formats.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    formats::resetFromHostLocale(); // numbers read with the system's decimal separator
    QTextStream out(stdout);
    QTextStream err(stderr);
    return banktool::runTool(app.arguments().mid(1), out, err);
}
