// Details of the report editor a user meets at once: the font box takes picks only, the
// pictures show what their commands do, and a save dialog nobody asked for says why it comes.
#include "dialogs.h"
#include "editor_fixture.h"
#include "glyphs.h"
#include "ui_seams.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

class TestReportPoints : public QObject, EditorFixture {
    Q_OBJECT
private slots:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    void typedFontNameWithEnterChangesNothing() {
        open(path("a.usr"));
        QVERIFY(w->ComboBoxEx1->count() > 2);
        const QString before = w->RichEdit1->currentCharFormat().font().family();
        const int index = w->ComboBoxEx1->currentIndex();
        QString other; // a name from the list, so that Enter alone would have picked it
        for (int i = 0; i < w->ComboBoxEx1->count() && other.isEmpty(); ++i)
            if (w->ComboBoxEx1->itemText(i) != before && i != index)
                other = w->ComboBoxEx1->itemText(i);
        w->ComboBoxEx1->setFocus();
        w->ComboBoxEx1->lineEdit()->selectAll();
        typeKeys(w->ComboBoxEx1->lineEdit(), other);
        QTest::keyClick(w->ComboBoxEx1->lineEdit(), Qt::Key_Return);
        QCOMPARE(w->ComboBoxEx1->currentIndex(), index);
        QCOMPARE(w->RichEdit1->currentCharFormat().font().family(), before);
    }

    void picturesShowTheirCommands_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("themeName");
        QTest::newRow("Вырезать") << "N12"
                                  << "edit-cut";
        QTest::newRow("Копировать") << "N13"
                                    << "edit-copy";
        QTest::newRow("Печать") << "N18"
                                << "document-print";
        QTest::newRow("Открыть") << "N2"
                                 << "document-open";
        QTest::newRow("Сохранить") << "N6"
                                   << "document-save";
    }
    void picturesShowTheirCommands() {
        QFETCH(QString, item);
        QFETCH(QString, themeName);
        auto* action = w->findChild<QAction*>(item);
        QVERIFY(action);
        const QIcon icon = action->icon();
        QVERIFY(!icon.isNull());
        const QByteArray name = themeName.toLatin1();
        if (QIcon::hasThemeIcon(themeName)) {
            QCOMPARE(icon.name(), themeName);
        } else {
            const QImage drawn = drawnGlyph(name.constData()).pixmap(16).toImage();
            QVERIFY(!drawn.isNull());
            QCOMPARE(icon.pixmap(16).toImage(), drawn);
        }
    }

    void saveDialogBeforeOpeningSaysWhy() {
        w->N20->trigger(); // a new text, never saved
        type(QStringLiteral("Ф"));
        QVERIFY(modified());
        dialogs::queueFileAnswer(path("a.usr")); // "Открыть" confirmed
        dialogs::queueFileCancel();              // the save dialog that then comes first
        w->N2->trigger();
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QCOMPARE(dialogs::lastCaption(), QStringLiteral("Сохранить изменения текущего текста"));
        // "Сохранить как" is asked for by the user: the dialog's own caption.
        dialogs::queueFileCancel();
        w->N7->trigger();
        QCOMPARE(dialogs::lastCaption(), QString());
    }
};

QTEST_MAIN(TestReportPoints)
#include "test_report_points.moc"
