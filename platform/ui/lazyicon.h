#pragma once

#include <QIcon>
#include <QStyle>
#include <functional>

// An icon made when it is first painted or asked about, not when the window that holds it is
// built: the style's and the theme's pictures are looked up among the desktop's icon files and
// decoded, which costs start-up time for menus nobody has opened yet. It is made under the
// icon theme in use when lazyIcon() was called, so it is the icon `make` would have given then.
QIcon lazyIcon(std::function<QIcon()> make);

// A choice of icon theme (`choose` may set one) that looking into themes makes costly: made
// when the first icon of lazyIcon() is made or the event loop next runs, whichever comes
// first, as if it were made now. Icons asked for before this call keep the theme before it.
// Only the first call counts.
void chooseIconThemeLater(std::function<void()> choose);

// The application style's standard picture, made so.
QIcon lazyStandardIcon(QStyle::StandardPixmap which);
