#include "lazyicon.h"

#include <QApplication>
#include <QPixmap>
#include <QTest>

// Icons made when first asked about, each once, under the icon theme of that moment.
class TestLazyIcon : public QObject {
    Q_OBJECT
private slots:
    void madeUnderTheThemeOfTheirDay() {
        QPixmap red(16, 16);
        red.fill(Qt::red);
        QStringList seen(4); // the theme each icon's maker found
        int made = 0;
        const auto icon = [&](int i, bool null) {
            return lazyIcon([&, i, null] {
                ++made;
                seen[i] = QIcon::themeName();
                return null ? QIcon() : QIcon(red);
            });
        };
        QIcon::setThemeName(QStringLiteral("before"));
        const QIcon early = icon(0, false);
        chooseIconThemeLater([] { QIcon::setThemeName(QStringLiteral("chosen")); });
        chooseIconThemeLater([] { QIcon::setThemeName(QStringLiteral("ignored")); });
        const QIcon waiting = icon(1, false);
        QCOMPARE(QIcon::themeName(), QStringLiteral("before")); // not chosen yet
        QCOMPARE(made, 0);
        QCoreApplication::processEvents(); // the choice is made once the event loop runs
        const QIcon late = icon(2, false);
        const QIcon nothing = icon(3, true);
        const QIcon* icons[] = {&early, &waiting, &late, &nothing};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(icons[i]->isNull(), i == 3);
            QCOMPARE(seen[i], QString::fromLatin1(i == 0 ? "before" : "chosen"));
            QCOMPARE(QIcon::themeName(), QStringLiteral("chosen")); // put back after making
        }
        QCOMPARE(early.pixmap(16).toImage(), red.toImage());
        QCOMPARE(early.availableSizes(), QList<QSize>{QSize(16, 16)});
        QVERIFY(nothing.pixmap(16).isNull());
        QCOMPARE(made, 4); // each made once
    }
};

QTEST_MAIN(TestLazyIcon)
#include "test_lazyicon.moc"
