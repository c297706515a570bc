#include "lazyicon.h"

#include <QApplication>
#include <QIconEngine>

namespace {

class LazyIconEngine : public QIconEngine {
public:
    explicit LazyIconEngine(std::function<QIcon()> make)
        : m_make(std::move(make)), m_theme(QIcon::themeName()) {}

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
            // A theme set since (the report editor picks one where the desktop has none)
            // would give another picture: the icon is made under the one of its window's day.
            const QString now = QIcon::themeName();
            if (now != m_theme)
                QIcon::setThemeName(m_theme);
            m_icon = m_make();
            if (now != m_theme)
                QIcon::setThemeName(now);
            m_make = nullptr;
        }
        return m_icon;
    }

    std::function<QIcon()> m_make;
    QString m_theme;
    QIcon m_icon;
};

} // namespace

QIcon lazyIcon(std::function<QIcon()> make) {
    return QIcon(new LazyIconEngine(std::move(make)));
}

QIcon lazyStandardIcon(QStyle::StandardPixmap which) {
    return lazyIcon([which] { return QApplication::style()->standardIcon(which); });
}
