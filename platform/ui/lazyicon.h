#pragma once

#include <QIcon>
#include <QStyle>
#include <functional>

// An icon made when it is first painted or asked about, not when the window that holds it is
// built: the style's and the theme's pictures are looked up among the desktop's icon files and
// decoded, which costs start-up time for menus nobody has opened yet. It is made under the
// icon theme in use when lazyIcon() was called, so it is the icon `make` would have given then.
QIcon lazyIcon(std::function<QIcon()> make);

// The application style's standard picture, made so.
QIcon lazyStandardIcon(QStyle::StandardPixmap which);
