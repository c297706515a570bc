#include "wmhints.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef KV_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#endif

namespace wmhints {

#ifdef KV_HAVE_XCB
namespace {
xcb_connection_t* connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, uint16_t(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void setProperty(QWidget* window, const char* property, xcb_atom_t type,
                 const std::vector<uint32_t>& values) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    const auto xid = xcb_window_t(window->winId());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xid, atom(c, property), type, 32,
                        uint32_t(values.size()), values.data());
    xcb_flush(c);
}

std::vector<uint32_t> readProperty(unsigned long xid, const char* property) {
    xcb_connection_t* c = connection();
    if (!c)
        return {};
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        c, 0, xcb_window_t(xid), atom(c, property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32)
        return {};
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

// Motif window-manager hints, as every window manager since mwm reads them.
enum : uint32_t {
    hintsFunctions = 1,
    hintsDecorations = 2,
    funcResize = 2,
    funcMove = 4,
    funcMinimize = 8,
    funcMaximize = 16,
    funcClose = 32,
    decorBorder = 2,
    decorResizeh = 4,
    decorTitle = 8,
    decorMenu = 16,
    decorMinimize = 32,
    decorMaximize = 64,
};
} // namespace

bool onX11() {
    return connection() != nullptr;
}

void setSkipTaskbar(QWidget* window) {
    xcb_connection_t* c = connection();
    if (!c || window->isVisible())
        return;
    // Qt merges its own states into what the unmapped window already carries.
    setProperty(window, "_NET_WM_STATE", XCB_ATOM_ATOM,
                {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER")});
}

void setDecorations(QWidget* window, bool resizable) {
    if (!connection())
        return;
    const Qt::WindowFlags flags = window->windowFlags();
    uint32_t functions = funcMove;
    uint32_t decorations = 0;
    if (!(flags & Qt::FramelessWindowHint)) {
        decorations = decorBorder | decorTitle;
        if (flags & Qt::WindowSystemMenuHint)
            decorations |= decorMenu;
        if (flags & Qt::WindowMinimizeButtonHint) {
            decorations |= decorMinimize;
            functions |= funcMinimize;
        }
        if (flags & Qt::WindowMaximizeButtonHint) {
            decorations |= decorMaximize;
            functions |= funcMaximize;
        }
        if (flags & Qt::WindowCloseButtonHint)
            functions |= funcClose;
        if (resizable) {
            decorations |= decorResizeh;
            functions |= funcResize;
        }
    }
    const xcb_atom_t type = atom(connection(), "_MOTIF_WM_HINTS");
    setProperty(window, "_MOTIF_WM_HINTS", type,
                {hintsFunctions | hintsDecorations, functions, decorations, 0, 0});
}

void setTypes(QWidget* window, const QStringList& types) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    std::vector<uint32_t> atoms;
    for (const QString& type : types)
        atoms.push_back(atom(c, ("_NET_WM_WINDOW_TYPE_" + type.toLatin1()).constData()));
    setProperty(window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, atoms);
}

void setTransientFor(QWidget* window, QWidget* owner) {
    if (!connection() || !owner)
        return;
    setProperty(window, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW, {uint32_t(owner->winId())});
}

QString windowManagerName() {
    xcb_connection_t* c = connection();
    if (!c)
        return {};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::vector<uint32_t> check = readProperty(screen->root, "_NET_SUPPORTING_WM_CHECK");
    if (check.empty())
        return {};
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        c, 0, check.front(), atom(c, "_NET_WM_NAME"), XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->format != 8)
        return {};
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

QStringList atomNames(unsigned long xid, const char* property) {
    QStringList names;
    xcb_connection_t* c = connection();
    for (uint32_t a : readProperty(xid, property)) {
        std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
            xcb_get_atom_name_reply(c, xcb_get_atom_name(c, a), nullptr), &std::free);
        if (reply)
            names << QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                         xcb_get_atom_name_name_length(reply.get()));
    }
    return names;
}

QList<quint32> cardinals(unsigned long xid, const char* property) {
    QList<quint32> values;
    for (uint32_t v : readProperty(xid, property))
        values << v;
    return values;
}

#else

bool onX11() {
    return false;
}
void setSkipTaskbar(QWidget*) {}
void setDecorations(QWidget*, bool) {}
void setTypes(QWidget*, const QStringList&) {}
void setTransientFor(QWidget*, QWidget*) {}
QString windowManagerName() {
    return {};
}
QStringList atomNames(unsigned long, const char*) {
    return {};
}
QList<quint32> cardinals(unsigned long, const char*) {
    return {};
}

#endif

} // namespace wmhints
