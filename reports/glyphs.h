#pragma once

#include <QIcon>

// The report editor's tool-bar and menu pictures: the desktop's icon of the freedesktop name
// ("edit-cut", "document-print", ...) where its theme has one, else a small picture of the
// same thing drawn here, so that no command shows a picture of another.
QIcon reportGlyph(const char* themeName);

// The drawn picture alone (null for a name it does not know).
QIcon drawnGlyph(const char* themeName);
