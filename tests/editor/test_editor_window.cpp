// The question editor's window: layout, showing, the navigator's states, editing through the
// controls, writing before the table is left or closed, delete, insert, read-only banks.
#include "editor_fixture.h"
#include "jetbank.h"
#include "ui_seams.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace ed;

namespace {
const QString noBank = QStringLiteral("..........");
const QString atStart = QStringLiteral("..NL+-E..R");
const QString inMiddle = QStringLiteral("FPNL+-E..R");
const QString atEnd = QStringLiteral("FP..+-E..R");
const QString editingAtStart = QStringLiteral("..NL+-.CXR");

// A bank whose writes of the question text "refused" fail, as a bank refusing a write does.
void refuseWrites(const QString& path) {
    fixture::sql(path, QStringLiteral("CREATE TRIGGER no_update BEFORE UPDATE ON kontrol "
                                      "WHEN NEW.Vopros = 'refused' BEGIN "
                                      "SELECT RAISE(ABORT, 'запись отклонена'); END"));
}
} // namespace

class TestEditorWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_serial = 0;

    QString bank(int count) {
        return fixture::makeBank(*m_dir, QStringLiteral("b%1.mdb").arg(++m_serial), count);
    }
    bool allEmpty() const {
        for (DBMemo* memo : {w()->DBMemo1, w()->DBMemo2, w()->DBMemo3, w()->DBMemo4, w()->DBMemo5})
            if (!shown(memo).isEmpty())
                return false;
        return shown(w()->DBEdit1).isEmpty() && shown(w()->DBEdit_Otvet_prav).isEmpty() &&
               w()->DBImage1->picture().isNull();
    }

private slots:
    void initTestCase() { startProgram(); }
    void cleanupTestCase() { destroyForms(); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        showEditor();
    }
    void cleanup() {
        closeEditor();
        m_dir.reset();
    }

    void windowHasItsControlsInPlace() {
        QCOMPARE(w()->windowTitle(),
                 QStringLiteral("Редактор тестовой системы контроля уровня подготовки обучаемого"));
        QCOMPARE(w()->centralWidget()->size(), QSize(792, 538));
        QCOMPARE(w()->minimumSize(), w()->maximumSize());
        QVERIFY(!(w()->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(w()->windowFlags() & Qt::WindowMaximizeButtonHint));
        const std::pair<QWidget*, QRect> places[] = {
            {w()->DBEdit1, {161, 3, 97, 21}},           {w()->DBNavigator1, {277, 0, 240, 25}},
            {w()->DBEdit_Otvet_prav, {677, 3, 97, 21}}, {w()->DBMemo1, {3, 47, 390, 258}},
            {w()->DBImage1, {400, 47, 390, 258}},       {w()->DBMemo2, {1, 320, 785, 42}},
            {w()->DBMemo3, {1, 380, 785, 42}},          {w()->DBMemo4, {1, 439, 785, 42}},
            {w()->DBMemo5, {0, 496, 785, 42}}};
        for (const auto& [control, place] : places)
            QCOMPARE(control->geometry(), place);
        const std::pair<QLabel*, QString> labels[] = {
            {w()->Label7, "Порядковый номер вопроса"},
            {w()->Label5, "Номер правильного ответа"},
            {w()->Label6, "Содержание вопроса"},
            {w()->Label9, "Графический материал по вопросу"},
            {w()->Label1, "Вариант ответа №1"},
            {w()->Label4, "Вариант ответа №4"}};
        for (const auto& [label, text] : labels)
            QCOMPARE(label->text(), text);
        // Whatever face draws the window's font, no caption runs under a control or off the
        // window.
        QVERIFY(w()->Label7->geometry().right() < w()->DBEdit1->x());
        QVERIFY(w()->Label5->geometry().right() < w()->DBEdit_Otvet_prav->x());
        QVERIFY(w()->Label9->geometry().right() < 792);
        QCOMPARE(w()->Label7->pos(), QPoint(7, 12));
        QCOMPARE(w()->Label4->pos(), QPoint(344, 481));
        QCOMPARE(w()->DBMemo1->toolTip(), QStringLiteral("Содержание вопроса"));
        QCOMPARE(w()->DBImage1->toolTip(),
                 QStringLiteral("Графический материал по проверяемому вопросу"));
        const QStringList hints{"Первая запись",      "Предыдущая запись", "Следующая запись",
                                "Последняя запись",   "Вставить запись",   "Удалить запись",
                                "Редактировать",      "Записать",          "Отменить изменения",
                                "Восстановить данные"};
        for (int i = 0; i < DBNavigator::buttonCount; ++i) {
            QToolButton* button = w()->DBNavigator1->button(DBNavigator::Button(i));
            QCOMPARE(button->toolTip(), hints[i]);
            QCOMPARE(button->geometry(), QRect(24 * i, 0, 24, 25)); // left to right
        }
    }

    void menuAndTabOrder() {
        const QList<QAction*> items = w()->N1->menu()->actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[0], w()->N6);
        QCOMPARE(w()->N6->text(), QStringLiteral("Открыть БД"));
        QCOMPARE(items[1]->text(), QStringLiteral("Закрыть БД"));
        QVERIFY(items[2]->isSeparator());
        QCOMPARE(items[3]->text(), QStringLiteral("Выход"));
        QCOMPARE(w()->N1->text(), QStringLiteral("Файл"));
        QVERIFY(!w()->N6->icon().isNull() && !w()->N5->icon().isNull());
        for (QAction* item : items)
            QVERIFY(item->shortcut().isEmpty());
        QWidget* const order[] = {w()->DBNavigator1, w()->DBEdit_Otvet_prav, w()->DBMemo1,
                                  w()->DBEdit1,      w()->DBImage1,          w()->DBMemo2,
                                  w()->DBMemo3,      w()->DBMemo4,           w()->DBMemo5};
        order[0]->setFocus();
        for (size_t i = 0; i + 1 < std::size(order); ++i) {
            QCOMPARE(QApplication::focusWidget(), order[i]);
            QTest::keyClick(order[i], Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), order[std::size(order) - 1]);
    }

    void everyShowingStartsEmptyAndDisabled() {
        QVERIFY(allEmpty());
        QCOMPARE(navigator(), noBank);
        openBank(bank(3));
        QCOMPARE(shown(w()->DBMemo1), QStringLiteral("Вопрос 1"));
        QCOMPARE(shown(w()->DBEdit1), QStringLiteral("1"));
        QCOMPARE(navigator(), atStart);
        w()->N5->trigger(); // "Выход"
        QVERIFY(!w()->isVisible());
        QVERIFY(!table()->active());
        showEditor();
        QVERIFY(allEmpty());
        QCOMPARE(navigator(), noBank);
        // "Закрыть БД" empties the controls and keeps the connection.
        openBank(bank(2));
        w()->N8->trigger();
        QVERIFY(allEmpty());
        QCOMPARE(navigator(), noBank);
        QVERIFY(table()->connection()->connected());
    }

    // Laid out at word boundaries, a run of a million characters without a blank takes
    // minutes: such a text wraps anywhere, the next record's short texts at word boundaries
    // again, and each record's texts are shown whole.
    void longRunsWrapAnywhere() {
        const QString run(1000000, QChar(u'Ж'));
        QVector<bankfile::Question> qs{fixture::question(1), fixture::question(2)};
        qs[0].vopros = run;
        for (QString& option : qs[0].otvet)
            option = run;
        openBank(fixture::makeBank(*m_dir, QStringLiteral("long.mdb"), qs));
        const QList<DBMemo*> memos{w()->DBMemo1, w()->DBMemo2, w()->DBMemo3, w()->DBMemo4,
                                   w()->DBMemo5};
        const auto check = [&memos](const bankfile::Question& q, QTextOption::WrapMode mode) {
            w()->grab(); // drawn, every text laid out
            for (int i = 0; i < memos.size(); ++i) {
                QCOMPARE(memos[i]->wordWrapMode(), mode);
                QCOMPARE(memos[i]->toPlainText(), i == 0 ? q.vopros : q.otvet[i - 1]);
            }
        };
        check(qs[0], QTextOption::WrapAnywhere);
        QVERIFY(!QTest::currentTestFailed());
        click(DBNavigator::Next);
        check(qs[1], QTextOption::WrapAtWordBoundaryOrAnywhere);
        QVERIFY(!QTest::currentTestFailed());
        click(DBNavigator::Prior);
        check(qs[0], QTextOption::WrapAnywhere);
    }

    void cancellingTheOpenLeavesNoBank() {
        openBank(bank(2));
        openBank(QString());
        QVERIFY(!table()->active());
        QVERIFY(!table()->connection()->connected());
        QCOMPARE(dialogs::lastFilter(), QStringLiteral("Файлы базы данных|*.mdb"));
        QVERIFY(allEmpty());
        QCOMPARE(navigator(), noBank);
    }

    void navigatorFollowsTheTable() {
        openBank(bank(3));
        QCOMPARE(navigator(), atStart);
        click(DBNavigator::Next);
        QCOMPARE(navigator(), inMiddle);
        click(DBNavigator::Last);
        QCOMPARE(navigator(), atEnd);
        QCOMPARE(shown(w()->DBMemo1), QStringLiteral("Вопрос 3"));
        click(DBNavigator::Prior);
        click(DBNavigator::First);
        QCOMPARE(navigator(), atStart);
        key(w()->DBNavigator1, Qt::Key_End); // the keyboard moves as the buttons do
        QCOMPARE(table()->recNo(), 3);
        key(w()->DBNavigator1, Qt::Key_Left);
        QCOMPARE(table()->recNo(), 2);
        key(w()->DBNavigator1, Qt::Key_Home);
        QCOMPARE(table()->recNo(), 1);
        click(DBNavigator::Edit);
        QCOMPARE(navigator(), editingAtStart);
        click(DBNavigator::Cancel);
        QCOMPARE(navigator(), atStart);
        type(w()->DBMemo2, QStringLiteral("x")); // typing starts editing by itself
        QCOMPARE(navigator(), editingAtStart);
        click(DBNavigator::Cancel);
        QCOMPARE(shown(w()->DBMemo2), QStringLiteral("Ответ 1.1"));

        openBank(fixture::makeBank(*m_dir, QStringLiteral("empty.mdb"), 0));
        QCOMPARE(navigator(), QStringLiteral("....+.E..R")); // editing an empty table inserts

        const QString readOnly = bank(2);
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        ModalWatcher watcher;
        openBank(readOnly);
        QCOMPARE(watcher.notices,
                 QStringList{QStringLiteral("Банк вопросов «%1» открыт только для просмотра: файл "
                                            "защищён от записи. Вопросы можно смотреть, но не "
                                            "изменять.")
                                 .arg(readOnly)});
        QCOMPARE(navigator(), QStringLiteral("..NL......"));
        click(DBNavigator::Next);
        QCOMPARE(navigator(), QStringLiteral("FP........"));
    }

    void readOnlyBankTakesNoTyping() {
        const QString path = bank(2);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const QByteArray before = fixture::readAll(path);
        ModalWatcher watcher;
        openBank(path);
        QCOMPARE(watcher.notices.size(), 1); // why it is read-only, once
        type(w()->DBMemo1, QStringLiteral("abc"));
        type(w()->DBEdit_Otvet_prav, QStringLiteral("3"));
        key(w()->DBMemo2, Qt::Key_Backspace);
        QCOMPARE(shown(w()->DBMemo1), QStringLiteral("Вопрос 1"));
        QCOMPARE(shown(w()->DBEdit_Otvet_prav), QStringLiteral("2"));
        QCOMPARE(table()->state(), Dataset::State::Browse);
        QCOMPARE(watcher.total(), 1); // a beep, no error box
        click(DBNavigator::Next);
        w()->N8->trigger();
        QCOMPARE(fixture::readAll(path), before);
    }

    // An old-format bank: told once, on opening, why nothing can be changed; browsing works.
    void oldFormatBankSaysOnceThatItIsReadOnly() {
        const QString path = QStringLiteral(KV_JET_FIXTURES "/bank5_jet4.mdb");
        const QByteArray before = fixture::readAll(path);
        ModalWatcher watcher;
        openBank(path);
        QCOMPARE(watcher.notices, QStringList{jetbank::legacyNotice(path)});
        QCOMPARE(navigator(), QStringLiteral("..NL......"));
        type(w()->DBMemo1, QStringLiteral("abc"));
        click(DBNavigator::Next);
        click(DBNavigator::Last);
        QCOMPARE(navigator(), QStringLiteral("FP........"));
        QCOMPARE(watcher.total(), 1);
        w()->N8->trigger();
        QCOMPARE(fixture::readAll(path), before);
    }

    // Leaving the record by a move, an insert or a re-read writes it first, unasked.
    void typingThenLeavingTheRecordWrites_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("recNo");
        QTest::addColumn<int>("state");
        QTest::newRow("Следующая запись")
            << int(DBNavigator::Next) << 2 << int(Dataset::State::Browse);
        QTest::newRow("Вставить запись")
            << int(DBNavigator::Insert) << 1 << int(Dataset::State::Insert);
        QTest::newRow("Восстановить данные")
            << int(DBNavigator::Refresh) << 1 << int(Dataset::State::Browse);
    }
    void typingThenLeavingTheRecordWrites() {
        QFETCH(int, button);
        QFETCH(int, recNo);
        QFETCH(int, state);
        const QString path = bank(3);
        openBank(path);
        ModalWatcher watcher;
        w()->DBMemo1->selectAll();
        type(w()->DBMemo1, QStringLiteral("Новый текст"));
        click(DBNavigator::Button(button));
        QCOMPARE(watcher.total(), 0);
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QCOMPARE(table()->recNo(), recNo);
        QCOMPARE(int(table()->state()), state);
        QCOMPARE(stored(path, "Vopros"), (QStringList{"Новый текст", "Вопрос 2", "Вопрос 3"}));
    }

    void numericFieldRefusesLettersAndEscRestores() {
        const QString path = bank(2);
        openBank(path);
        QLineEdit* edit = w()->DBEdit_Otvet_prav;
        edit->selectAll();
        type(edit, QStringLiteral("x"));
        QCOMPARE(shown(w()->DBEdit_Otvet_prav), QStringLiteral("2"));
        QCOMPARE(table()->state(), Dataset::State::Browse);
        edit->selectAll();
        type(edit, QStringLiteral("4"));
        QCOMPARE(edit->text(), QStringLiteral("4"));
        key(edit, Qt::Key_Escape);
        QApplication::processEvents();
        QCOMPARE(edit->text(), QStringLiteral("2"));
        edit->selectAll();
        type(edit, QStringLiteral("3"));
        click(DBNavigator::Post);
        QCOMPARE(stored(path, "PrOtvet"), (QStringList{"3", "3"}));
    }

    // Typed work is written before the table closes, as a move writes it.
    void closingTheTableWritesFirst_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Закрыть БД") << 0;
        QTest::newRow("Открыть БД") << 1;
        QTest::newRow("closing the window") << 2;
    }
    void closingTheTableWritesFirst() {
        QFETCH(int, how);
        const QString path = bank(2);
        openBank(path);
        click(DBNavigator::Next);
        w()->DBMemo3->selectAll();
        type(w()->DBMemo3, QStringLiteral("изменено"));
        ModalWatcher watcher;
        if (how == 0)
            w()->N8->trigger();
        else if (how == 1)
            openBank(QString());
        else
            w()->close(); // as the title bar's close button does
        QCOMPARE(watcher.total(), 0);
        QVERIFY(!table()->active());
        QCOMPARE(stored(path, "Otvet2"), (QStringList{"Ответ 1.2", "изменено"}));
    }

    void refusedWriteKeepsWindowRecordAndChanges_data() { closingTheTableWritesFirst_data(); }
    void refusedWriteKeepsWindowRecordAndChanges() {
        QFETCH(int, how);
        const QString path = bank(2);
        refuseWrites(path);
        openBank(path);
        click(DBNavigator::Next);
        w()->DBMemo1->selectAll();
        type(w()->DBMemo1, QStringLiteral("refused"));
        ModalWatcher watcher;
        if (how == 0) {
            w()->N8->trigger();
        } else if (how == 1) {
            dialogs::queueFileAnswer(path);
            w()->N6->trigger();
            QCOMPARE(dialogs::pendingAnswers(), 1); // no dialog was shown
            dialogs::clearAnswers();
        } else {
            w()->close();
        }
        QTRY_COMPARE(watcher.errors.size(), 1);
        QVERIFY2(watcher.errors[0].contains(QStringLiteral("запись отклонена")),
                 qPrintable(watcher.errors[0]));
        QVERIFY(w()->isVisible());
        QVERIFY(table()->active());
        QCOMPARE(table()->recNo(), 2);
        QCOMPARE(table()->state(), Dataset::State::Edit);
        QCOMPARE(shown(w()->DBMemo1), QStringLiteral("refused"));
        // A move fails in the same way and does not happen.
        click(DBNavigator::Prior);
        QTRY_COMPARE(watcher.errors.size(), 2);
        QCOMPARE(table()->recNo(), 2);
        QCOMPARE(navigator(), QStringLiteral("FP..+-.CXR"));
        click(DBNavigator::Cancel); // the way to discard
        QApplication::processEvents();
        QCOMPARE(shown(w()->DBMemo1), QStringLiteral("Вопрос 2"));
        QCOMPARE(stored(path, "Vopros"), (QStringList{"Вопрос 1", "Вопрос 2"}));
    }

    void deleteAsksFirst() {
        const QString path = bank(3);
        openBank(path);
        click(DBNavigator::Next);
        dialogs::queueConfirm(false);
        click(DBNavigator::Delete);
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QCOMPARE(dialogs::lastConfirmText(), QStringLiteral("Удалить запись?"));
        QCOMPARE(stored(path, "Name"), (QStringList{"1", "2", "3"}));
        QCOMPARE(shown(w()->DBEdit1), QStringLiteral("2"));
        dialogs::queueConfirm(true);
        click(DBNavigator::Delete);
        QCOMPARE(stored(path, "Name"), (QStringList{"1", "3"}));
        QApplication::processEvents();
        QCOMPARE(shown(w()->DBEdit1), QStringLiteral("3"));

        // The real box speaks one language, and Esc or "Отмена" keeps the record.
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen << box->text();
            for (QAbstractButton* b : box->buttons())
                seen << b->text();
            box->button(QMessageBox::Cancel)->click();
        });
        click(DBNavigator::Delete);
        QCOMPARE(seen, (QStringList{"Удалить запись?", "OK", "Отмена"}));
        QCOMPARE(stored(path, "Name"), (QStringList{"1", "3"}));
    }

    void insertLeftUntouchedAddsNothing() {
        const QString path = bank(3);
        openBank(path);
        click(DBNavigator::Next);
        click(DBNavigator::Insert);
        QCOMPARE(table()->state(), Dataset::State::Insert);
        QApplication::processEvents();
        QCOMPARE(shown(w()->DBMemo1), QString());
        click(DBNavigator::Next);
        QCOMPARE(stored(path, "Name").size(), 3);
        QCOMPARE(table()->recordCount(), 3);
        // A typed insert is written and stays current, in its stored place at the end.
        click(DBNavigator::Insert);
        type(w()->DBEdit1, QStringLiteral("7"));
        type(w()->DBMemo1, QStringLiteral("Новый"));
        click(DBNavigator::Post);
        QCOMPARE(stored(path, "Name"), (QStringList{"1", "2", "3", "7"}));
        QCOMPARE(table()->recNo(), 4);
        QCOMPARE(shown(w()->DBEdit1), QStringLiteral("7"));
        QCOMPARE(navigator(), atEnd);
    }

    void bankWithoutABoundFieldFailsWithTheControlsName() {
        const QString noName = m_dir->filePath(QStringLiteral("noname.mdb"));
        fixture::sql(noName, QStringLiteral("CREATE TABLE kontrol (Vopros TEXT, Otvet1 TEXT, "
                                            "Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, PrOtvet "
                                            "INTEGER, Graph BLOB)"));
        ModalWatcher watcher;
        openBank(noName);
        QTRY_COMPARE(watcher.errors,
                     QStringList{QStringLiteral("DBEdit1: Field 'Name' not found.")});
        QVERIFY(!table()->active());
        QCOMPARE(navigator(), noBank);
    }

    void glyphsAreDrawnAndDistinct() {
        QList<QImage> seen;
        for (int i = 0; i < DBNavigator::buttonCount; ++i) {
            const QImage image = dbnavigator::glyph(DBNavigator::Button(i), 16).toImage();
            QVERIFY(!seen.contains(image));
            int inked = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    inked += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(inked >= 8, qPrintable(QString::number(i)));
            seen << image;
        }
    }
};

QTEST_MAIN(TestEditorWindow)
#include "test_editor_window.moc"
