#pragma once

#include <QList>
#include <QString>

class QWidget;

// What the window manager is told about our windows under X11 beyond what Qt says itself:
// no taskbar entry for secondary windows, title-bar buttons and functions exactly as the
// window's flags ask, and the window type. Elsewhere (offscreen, Wayland) these do nothing.
namespace wmhints {

bool onX11();

// Before the window is mapped: it gets no taskbar or pager entry of its own.
void setSkipTaskbar(QWidget* window);

// Motif hints from the window's flags: a button and its function only where the flags ask
// for it; move always; resize only when the window may be resized.
void setDecorations(QWidget* window, bool resizable);

// The window types, most wanted first ("NORMAL", "DIALOG", "TOOLBAR": the ends of the
// _NET_WM_WINDOW_TYPE_ names); Qt sets the type from the flags, this overrides it.
void setTypes(QWidget* window, const QStringList& types);

// Changes the owner of a window already shown (Qt tells it only when a window is shown).
void setTransientFor(QWidget* window, QWidget* owner);

// The name the running window manager gives itself ("Openbox", "KWin"), or "".
QString windowManagerName();

// Reading back, for tests and diagnostics: the atoms' names of an atom-list property, and
// the 32-bit values of any other property, of a window by its X id.
QStringList atomNames(unsigned long xid, const char* property);
QList<quint32> cardinals(unsigned long xid, const char* property);

} // namespace wmhints
