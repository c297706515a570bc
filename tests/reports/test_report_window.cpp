#include "dialogs.h"
#include "editor_fixture.h"
#include "fontlist.h"
#include "modal_watcher.h"
#include "protocol_sample.h"
#include "reportprinter.h"
#include "ui_seams.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

// The editor's window: its controls and menu, the read-only text, colours and fonts, and
// printing without a printer.
class TestReportWindow : public QObject, private EditorFixture {
    Q_OBJECT
private slots:
    void init() { QVERIFY(setUp()); }
    void cleanup() {
        QCOMPARE(dialogs::pendingAnswers(), 0); // every queued answer was asked for
        tearDown();
    }

    void windowStartsWithoutATextAndHasTheDesignedControls() {
        QCOMPARE(w->windowTitle(), QStringLiteral("Редактор отчётов"));
        QCOMPARE(w->width(), 792);
        QCOMPARE(w->height() - w->MainMenu1->height(), 552);
        QVERIFY(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(!(w->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!shown() && w->RichEdit1->isReadOnly() && !w->N17->isChecked());
        QCOMPARE(w->ColorBox1->currentIndex(), 0);
        QCOMPARE(w->ToolBar1->toolTip(), QStringLiteral("Открытие файла"));
        QVERIFY(w->ColorBox1->toolTip().isEmpty() && w->ComboBoxEx1->toolTip().isEmpty());
        QCOMPARE(w->ToolButton1->defaultAction(), w->N2);
        QCOMPARE(w->ToolButton2->defaultAction(), w->N7);
        QCOMPARE(w->ToolButton3->defaultAction(), w->N6);
        QCOMPARE(w->ToolButton2->toolTip(), QStringLiteral("Сохранить как"));

        QStringList items;
        for (int i = 0; i < w->ComboBoxEx1->count(); ++i)
            items << w->ComboBoxEx1->itemText(i);
        QCOMPARE(items, fontEntries(QFontDatabase::families()));
        const bool installed =
            QFontDatabase::families().contains("MS Sans Serif", Qt::CaseInsensitive);
        QCOMPARE(w->ComboBoxEx1->currentIndex() >= 0, installed);
        QCOMPARE(w->ComboBoxEx1->currentIndex(), fontEntryIndex(items, "MS Sans Serif"));
    }

    void menuHasEveryItemShortcutGlyphAndSeparator() {
        struct Row {
            const char* name;
            const char* caption;
            QKeySequence keys;
            bool glyph;
        };
        const QList<Row> file{{"N20", "Создать", QKeySequence("Ctrl+N"), true},
                              {"N2", "Открыть", QKeySequence("Ctrl+O"), true},
                              {"N3", "Закрыть", {}, false},
                              {"N4", "", {}, false},
                              {"N6", "Сохранить", QKeySequence("Shift+F12"), true},
                              {"N7", "Сохранить как", {}, true},
                              {"N8", "", {}, false},
                              {"N18", "Печать", {}, true},
                              {"N19", "", {}, false},
                              {"N5", "Выход", {}, true}};
        const QList<Row> edit{{"N10", "Отменить", QKeySequence("Ctrl+Z"), true},
                              {"N11", "", {}, false},
                              {"N12", "Вырезать", QKeySequence("Shift+Del"), true},
                              {"N13", "Копировать", QKeySequence("Ctrl+Ins"), true},
                              {"N14", "", {}, false},
                              {"N15", "Выделить всё", {}, false},
                              {"N16", "", {}, false},
                              {"N17", "Редактирование", {}, false}};
        const QList<QAction*> bar = w->MainMenu1->actions();
        QCOMPARE(bar, (QList<QAction*>{w->N1, w->N9}));
        QCOMPARE(w->N1->text(), QStringLiteral("Файл"));
        QCOMPARE(w->N9->text(), QStringLiteral("Правка"));
        for (const auto& [menu, rows] : {std::pair{w->N1->menu(), file}, {w->N9->menu(), edit}}) {
            const QList<QAction*> actions = menu->actions();
            QCOMPARE(actions.size(), rows.size());
            for (int i = 0; i < rows.size(); ++i) {
                const Row& row = rows[i];
                QAction* a = actions[i];
                QCOMPARE(a->objectName(), QString::fromLatin1(row.name));
                QCOMPARE(a->isSeparator(), *row.caption == 0);
                QCOMPARE(a->text(), QString::fromUtf8(row.caption));
                QCOMPARE(a->shortcut(), row.keys);
                QCOMPARE(!a->icon().isNull(), row.glyph);
            }
        }
        QVERIFY(w->N17->isCheckable());
    }

    void toolButtonsRunTheirMenuItems() {
        dialogs::queueFileCancel();
        QTest::mouseClick(w->ToolButton1, Qt::LeftButton);
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QCOMPARE(dialogs::lastFilter(), reportFilter);
        // "Сохранить как" and "Сохранить" do nothing while no text is shown.
        QVERIFY(withoutDialog([&] { QTest::mouseClick(w->ToolButton2, Qt::LeftButton); }));
        QVERIFY(withoutDialog([&] { QTest::mouseClick(w->ToolButton3, Qt::LeftButton); }));
        QVERIFY(!shown() && OtchetOpened == 0.0);
    }

    void textIsReadOnlyUntilEditingIsSwitchedOn() {
        open(path("a.usr"));
        const QString original = text();
        QTest::keyClicks(w->RichEdit1, QStringLiteral("abc"));
        QTest::keyClick(w->RichEdit1, Qt::Key_Delete);
        w->N15->trigger();
        QCOMPARE(w->RichEdit1->textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n'),
                 original);
        w->N12->trigger();
        QCOMPARE(text(), original);
        QVERIFY(!modified());
        QApplication::clipboard()->clear();
        w->N13->trigger();
        QCOMPARE(QApplication::clipboard()->text(), original); // non-breaking spaces kept

        w->N17->trigger();
        QVERIFY(w->N17->isChecked() && !w->RichEdit1->isReadOnly());
        w->N12->trigger(); // everything is still selected
        QVERIFY(text().isEmpty() && modified());
        w->N10->trigger();
        QCOMPARE(text(), original);
        w->N17->trigger();
        QVERIFY(!w->N17->isChecked() && w->RichEdit1->isReadOnly());
        QTest::keyClicks(w->RichEdit1, QStringLiteral("abc"));
        QCOMPARE(text(), original);
        // The setting holds for the next text.
        QVERIFY(withoutDialog([&] { w->N3->trigger(); }));
        QVERIFY(w->RichEdit1->isReadOnly() && !w->N17->isChecked());
    }

    void coloursAndFontsReachNeitherTheFileNorAHiddenText() {
        const int red = 9; // the standard colours' tenth
        pick(w->ColorBox1, red);
        pick(w->ComboBoxEx1, 0);
        QCOMPARE(w->RichEdit1->currentCharFormat().properties().size(), 0);
        QVERIFY(!modified() && !w->RichEdit1->hasFocus());

        open(path("a.usr"));
        QTextCursor selection = w->RichEdit1->textCursor();
        selection.setPosition(0);
        selection.setPosition(6, QTextCursor::KeepAnchor);
        w->RichEdit1->setTextCursor(selection);
        pick(w->ColorBox1, red);
        QVERIFY(w->RichEdit1->hasFocus());
        const QString family = w->ComboBoxEx1->itemText(0);
        pick(w->ComboBoxEx1, 0);
        QTextCursor probe(w->RichEdit1->document());
        probe.setPosition(3);
        QCOMPARE(probe.charFormat().foreground().color(), QColor(Qt::red));
        QCOMPARE(probe.charFormat().fontFamilies().toStringList(), QStringList{family});
        probe.setPosition(8);
        QVERIFY(!probe.charFormat().hasProperty(QTextFormat::ForegroundBrush));

        dialogs::queueFileAnswer(path("copy.usr"));
        w->N7->trigger();
        QCOMPARE(fileBytes(path("copy.usr")), protocol);
        // Loading replaces the colours together with the text.
        open(path("a.usr"));
        probe = QTextCursor(w->RichEdit1->document());
        probe.setPosition(3);
        QVERIFY(!probe.charFormat().hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(!w->RichEdit1->currentCharFormat().hasProperty(QTextFormat::ForegroundBrush));
    }

    void printingWithoutAPrinterIsReportedAndChangesNoText() {
        open(path("a.usr"));
        type(QStringLiteral("P"));
        reportprint::setPrinterLookup([] { return QString(); });
        ModalWatcher watcher;
        QVERIFY(withoutDialog([&] { w->N18->trigger(); }));
        QCOMPARE(watcher.errors,
                 QStringList{QStringLiteral("Не задан принтер по умолчанию, печать невозможна.")});
        QCOMPARE(fileBytes(path("a.usr")), "P" + protocol); // the save before printing stays
        QCOMPARE(OtchetFileName, path("a.usr"));
        QVERIFY(shown() && modified() && text().startsWith("P"));
        reportprint::setPrinterLookup([] { return QStringLiteral("Нет такого принтера"); });
        w->N18->trigger();
        QCOMPARE(watcher.errors.size(), 2);
        QVERIFY(watcher.errors[1].contains(QStringLiteral("«Нет такого принтера» недоступен")));
    }
};

QTEST_MAIN(TestReportWindow)
#include "test_report_window.moc"
