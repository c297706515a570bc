// Times the program's start-up on a bare X server (Xvfb of its own, no window manager): from
// starting the process to the first map of its main window, against a bare Qt program whose
// window has the same title, menu and size (bench_startup_bare), run by run, alternately.
// Last line: startup_ms=O bare_ms=B ratio=R peak_mb=M bare_peak_mb=N (O, B medians of the
// runs; R the median of the runs' ratios; M, N the programs' resident memory once mapped).
// It needs Xvfb, and its figures follow the machine's load: it is not part of the test suite.
#include "bench_measure.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

namespace {

constexpr int runs = 9;
constexpr int waitMs = 20000;
const QByteArray title = QByteArrayLiteral("Квиронт");

struct Server {
    QProcess process;
    QString display;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t netWmName = 0;
    ~Server() {
        if (connection)
            xcb_disconnect(connection);
        process.kill();
        process.waitForFinished(5000);
    }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool start(Server& s) {
    s.process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    // The display number comes on standard output once the server takes connections.
    QByteArray number;
    while (!number.contains('\n') && s.process.waitForReadyRead(waitMs))
        number += s.process.readAllStandardOutput();
    if (!number.contains('\n'))
        return false;
    s.display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    s.connection = xcb_connect(s.display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(s.connection))
        return false;
    s.root = xcb_setup_roots_iterator(xcb_get_setup(s.connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY; // maps of top-level windows
    xcb_change_window_attributes(s.connection, s.root, XCB_CW_EVENT_MASK, &mask);
    s.netWmName = atom(s.connection, "_NET_WM_NAME");
    xcb_flush(s.connection);
    return true;
}

QByteArray windowTitle(const Server& s, xcb_window_t window) {
    const auto cookie =
        xcb_get_property(s.connection, 0, window, s.netWmName, XCB_ATOM_ANY, 0, 256);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(s.connection, cookie, nullptr), &std::free);
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

// Waits for the map of a top-level window with the title; false after waitMs.
bool waitForMap(const Server& s, const QElapsedTimer& since) {
    const int fd = xcb_get_file_descriptor(s.connection);
    while (since.elapsed() < waitMs) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(s.connection)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            std::free(event);
            if (mapped && windowTitle(s, window) == title)
                return true;
        }
        pollfd wait{fd, POLLIN, 0};
        ::poll(&wait, 1, 100);
    }
    return false;
}

double residentMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// Milliseconds from starting the program to its window's first map, or -1.
double timeStart(const Server& s, const QString& program, const QString& folder, double* mb) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), s.display);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(folder);
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    child.start(program, {});
    const bool mapped = waitForMap(s, timer);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *mb = residentMb(child.processId());
    child.kill();
    child.waitForFinished(waitMs);
    return mapped ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString ours = bin.filePath(QStringLiteral("kviront"));
    const QString bare = bin.filePath(QStringLiteral("bench_startup_bare"));
    Server server;
    if (!start(server)) {
        std::fprintf(stderr, "Xvfb does not start: %s\n", qPrintable(server.process.errorString()));
        return 1;
    }
    QTemporaryDir folder; // the program's working folder: nothing of it is read
    double ourMb = 0, bareMb = 0;
    // Once each first: the first start of either reads fonts and libraries from the disk.
    if (timeStart(server, bare, folder.path(), &bareMb) < 0 ||
        timeStart(server, ours, folder.path(), &ourMb) < 0) {
        std::fprintf(stderr, "a window did not show within %d ms\n", waitMs);
        return 1;
    }
    std::vector<double> ourTimes, bareTimes, ratios;
    for (int run = 0; run < runs; ++run) {
        bareTimes.push_back(timeStart(server, bare, folder.path(), &bareMb));
        ourTimes.push_back(timeStart(server, ours, folder.path(), &ourMb));
        ratios.push_back(ourTimes.back() / bareTimes.back());
        std::printf("  run %d: program %.1f ms, bare window %.1f ms\n", run + 1, ourTimes.back(),
                    bareTimes.back());
    }
    std::printf("startup_ms=%.1f bare_ms=%.1f ratio=%.2f peak_mb=%.1f bare_peak_mb=%.1f\n",
                bench::median(ourTimes), bench::median(bareTimes), bench::median(ratios), ourMb,
                bareMb);
    return 0;
}
