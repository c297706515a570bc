#pragma once

#include <QBrush>
#include <QColor>
#include <QList>
#include <QPalette>
#include <QString>
#include <optional>

// One entry of the editor's colour list: a fixed colour, or a system colour that is read from
// the palette at the moment it is chosen.
struct ColorChoice {
    QString name;
    QColor color;
    std::optional<QPalette::ColorRole> role;
};

// The standard colours (black first), the extended colours, then the system colours.
QList<ColorChoice> colorChoices();

// The colour the entry stands for now.
QColor currentColor(const ColorChoice& choice, const QPalette& palette);

// The text brush a choice applies. The system's text colour becomes the control's automatic
// colour (no brush: the text follows the palette); any other colour is its RGB value now.
QBrush textBrush(const ColorChoice& choice, const QPalette& palette);
