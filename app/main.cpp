#include "error.h"
#include "formats.h"
#include "guard.h"
#include "kviront.h"
#include "startup.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {
// Without a display Qt would abort with a backtrace; say plainly what is missing instead.
bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}
} // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fputs("kviront: no display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                   "Start it inside a desktop session, or give it a virtual screen, e.g.\n"
                   "  xvfb-run -a ./kviront                  (then look at it with a screenshot)\n"
                   "  QT_QPA_PLATFORM=vnc:size=1024x768 ./kviront   (then connect a VNC viewer"
                   " to port 5900)\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    prepareApplication();
    formats::resetFromHostLocale();
    try {
        createForms();
    } catch (const DatabaseError& e) {
        showStartupFailure(QStringLiteral("EDatabaseError"), e.message());
        return 1;
    } catch (const Error& e) {
        showStartupFailure(QStringLiteral("Exception"), e.message());
        return 1;
    }
    Form1->show();
    const int code = QApplication::exec();
    destroyForms();
    return code;
}
