#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QWidget;

// Small makers for the controls the windows lay out by designer name and pixel place.
namespace designer {

// A label at (left, top), sized to its text, shown as plain text.
QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top);
QLineEdit* edit(QWidget* parent, const char* name, const QRect& place,
                const QString& text = QString());
void setTextColour(QWidget* widget, const QColor& colour);
// A font of the design: `pixelSize` is the character height. "MS Sans Serif" is a bitmap
// face of which Qt reaches one size, its 13-pixel strike (the 11-pixel character height), and
// which has no bold: any other size, and bold, are drawn in Tahoma, the scalable face that
// takes its place in dialogs of the same design.
QFont font(const QString& family, int pixelSize, bool bold = false);

// The faces the windows are designed for ("MS Sans Serif", "Tahoma"), registered as the
// program's own fonts from the metric-compatible files that Debian's fonts-wine package
// installs, when they are there; without them stand-ins are used. Tahoma's bold file there
// has the regular strokes on wider advances: it is left out, so Qt draws bold Tahoma by
// emboldening the regular outlines. Returns the families registered.
QStringList registerDesignFonts(const QString& folder = QStringLiteral("/usr/share/wine/fonts"));

// The check mark of an "OK" button in the given colour, grey when disabled.
QIcon checkMarkIcon(const QColor& colour);

} // namespace designer
