#include "colorlist.h"

namespace {
ColorChoice fixed(const char* name, QRgb rgb) {
    return {QString::fromUtf8(name), QColor(rgb), std::nullopt};
}
ColorChoice system(const char* name, QPalette::ColorRole role) {
    return {QString::fromUtf8(name), QColor(), role};
}
} // namespace

QList<ColorChoice> colorChoices() {
    return {// Standard colours.
            fixed("Чёрный", 0x000000), fixed("Бордовый", 0x800000), fixed("Зелёный", 0x008000),
            fixed("Оливковый", 0x808000), fixed("Тёмно-синий", 0x000080),
            fixed("Фиолетовый", 0x800080), fixed("Сине-зелёный", 0x008080),
            fixed("Серый", 0x808080), fixed("Серебристый", 0xC0C0C0), fixed("Красный", 0xFF0000),
            fixed("Салатовый", 0x00FF00), fixed("Жёлтый", 0xFFFF00), fixed("Синий", 0x0000FF),
            fixed("Фуксия", 0xFF00FF), fixed("Голубой", 0x00FFFF), fixed("Белый", 0xFFFFFF),
            // Extended colours.
            fixed("Светло-зелёный", 0xC0DCC0), fixed("Небесный", 0xA6CAF0),
            fixed("Кремовый", 0xFFFBF0), fixed("Средне-серый", 0xA4A0A0),
            // System colours.
            system("Текст окна", QPalette::Text), system("Окно", QPalette::Base),
            system("Фон программы", QPalette::Window),
            system("Текст программы", QPalette::WindowText), system("Кнопка", QPalette::Button),
            system("Текст кнопки", QPalette::ButtonText), system("Выделение", QPalette::Highlight),
            system("Выделенный текст", QPalette::HighlightedText),
            system("Светлая грань", QPalette::Light), system("Тень", QPalette::Dark),
            system("Подсказка", QPalette::ToolTipBase),
            system("Текст подсказки", QPalette::ToolTipText)};
}

QColor currentColor(const ColorChoice& choice, const QPalette& palette) {
    return choice.role ? palette.color(QPalette::Active, *choice.role) : choice.color;
}

QBrush textBrush(const ColorChoice& choice, const QPalette& palette) {
    if (choice.role == QPalette::Text)
        return QBrush(); // Qt draws a char format with no brush in the palette's text colour
    return QBrush(currentColor(choice, palette));
}
