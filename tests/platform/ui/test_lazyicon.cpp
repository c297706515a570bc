#include "lazyicon.h"

#include <QApplication>
#include <QPixmap>
#include <QTest>

// Icons made when first asked about: what they give, and the icon theme they are made under.
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
        QCOMPARE(QIcon::themeName(), QStringLiteral("chosen"));
        const QIcon late = icon(2, false);
        const QIcon nothing = icon(3, true);

        struct Row {
            const QIcon& icon;
            bool null;
            QString theme;
        };
        const Row rows[] = {{early, false, "before"},
                            {waiting, false, "chosen"},
                            {late, false, "chosen"},
                            {nothing, true, "chosen"}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(rows[i].icon.isNull(), rows[i].null);
            QCOMPARE(seen[i], rows[i].theme);
            QCOMPARE(QIcon::themeName(), QStringLiteral("chosen")); // put back after making
        }
        QCOMPARE(made, 4);
        QCOMPARE(early.pixmap(16).toImage(), red.toImage());
        QCOMPARE(early.availableSizes(), QList<QSize>{QSize(16, 16)});
        QVERIFY(nothing.pixmap(16).isNull());
        QCOMPARE(made, 4); // each made once
    }
};

QTEST_MAIN(TestLazyIcon)
#include "test_lazyicon.moc"
