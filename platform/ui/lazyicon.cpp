#include "lazyicon.h"

#include <QApplication>
#include <QIconEngine>
#include <QTimer>

namespace {

struct ThemeChoice {
    bool asked = false;
    std::function<void()> pending; // the choice, until it is made
    QString after;                 // the theme in use once it is made
};

ThemeChoice& themeChoice() {
    static ThemeChoice choice;
    return choice;
}

void makeThemeChoice() {
    ThemeChoice& c = themeChoice();
    if (!c.pending)
        return;
    const std::function<void()> choose = std::move(c.pending);
    c.pending = nullptr;
    choose();
    c.after = QIcon::themeName();
}

class LazyIconEngine : public QIconEngine {
public:
    explicit LazyIconEngine(std::function<QIcon()> make)
        : m_make(std::move(make)), m_afterChoice(bool(themeChoice().pending)) {
        if (!m_afterChoice)
            m_theme = QIcon::themeName();
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size / scale, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("KvLazyIconEngine"); }
    QIconEngine* clone() const override { return new LazyIconEngine(*this); }

private:
    const QIcon& icon() {
        if (m_make) {
            makeThemeChoice();
            // A theme set since (the report editor picks one where the desktop has none)
            // would give another picture: the icon is made under the one of its window's day.
            const QString theme = m_afterChoice ? themeChoice().after : m_theme;
            const QString now = QIcon::themeName();
            if (now != theme)
                QIcon::setThemeName(theme);
            m_icon = m_make();
            if (now != theme)
                QIcon::setThemeName(now);
            m_make = nullptr;
        }
        return m_icon;
    }

    std::function<QIcon()> m_make;
    bool m_afterChoice; // asked for while a theme choice waited: made under its theme
    QString m_theme;
    QIcon m_icon;
};

} // namespace

QIcon lazyIcon(std::function<QIcon()> make) {
    return QIcon(new LazyIconEngine(std::move(make)));
}

void chooseIconThemeLater(std::function<void()> choose) {
    ThemeChoice& c = themeChoice();
    if (c.asked)
        return;
    c.asked = true;
    c.pending = std::move(choose);
    QTimer::singleShot(0, [] { makeThemeChoice(); });
}

QIcon lazyStandardIcon(QStyle::StandardPixmap which) {
    return lazyIcon([which] { return QApplication::style()->standardIcon(which); });
}
