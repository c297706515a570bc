// Layout of the report editor: menu, tool bar and text area.
#include "colorlist.h"
#include "glyphs.h"
#include "guard.h"
#include "richedit.h"
#include "uoz_kontrol_otchet.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Enter in the font box would pick the typed name; only a pick from the list changes the
// font, so the typed text alone changes nothing.
class IgnoreEnter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QIcon swatch(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

QAction* item(QMenu* menu, const char* name, const QString& caption, const QKeySequence& keys = {},
              const QIcon& icon = {}) {
    QAction* action = menu->addAction(icon, caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    return action;
}

QAction* separator(QMenu* menu, const char* name) {
    QAction* action = menu->addSeparator();
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QToolButton* toolButton(QToolBar* bar, const char* name, QAction* action, const QIcon& image) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setDefaultAction(action);
    button->setIcon(image);
    button->setFixedSize(25, 25);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}
} // namespace

void TuozKontrol_otchet::buildMenu() {
    ImageList1 = {reportGlyph("document-open"), reportGlyph("document-save"),
                  reportGlyph("document-new"), reportGlyph("document-save-as"),
                  reportGlyph("document-print")};

    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);

    QMenu* file = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1 = file->menuAction();
    N1->setObjectName(QStringLiteral("N1"));
    N20 = item(file, "N20", QStringLiteral("Создать"), QKeySequence(Qt::CTRL | Qt::Key_N),
               ImageList1[2]);
    N2 = item(file, "N2", QStringLiteral("Открыть"), QKeySequence(Qt::CTRL | Qt::Key_O),
              ImageList1[0]);
    N2->setToolTip(QStringLiteral("Открыть"));
    N3 = item(file, "N3", QStringLiteral("Закрыть"));
    N4 = separator(file, "N4");
    N6 = item(file, "N6", QStringLiteral("Сохранить"), QKeySequence(Qt::SHIFT | Qt::Key_F12),
              ImageList1[1]);
    N6->setToolTip(QStringLiteral("Сохранить"));
    N7 = item(file, "N7", QStringLiteral("Сохранить как"), {}, ImageList1[3]);
    N7->setToolTip(QStringLiteral("Сохранить как"));
    N8 = separator(file, "N8");
    N18 = item(file, "N18", QStringLiteral("Печать"), {}, ImageList1[4]);
    N19 = separator(file, "N19");
    N5 = item(file, "N5", QStringLiteral("Выход"), {}, reportGlyph("application-exit"));

    QMenu* edit = MainMenu1->addMenu(QStringLiteral("Правка"));
    N9 = edit->menuAction();
    N9->setObjectName(QStringLiteral("N9"));
    N10 = item(edit, "N10", QStringLiteral("Отменить"), QKeySequence(Qt::CTRL | Qt::Key_Z),
               reportGlyph("edit-undo"));
    N11 = separator(edit, "N11");
    N12 = item(edit, "N12", QStringLiteral("Вырезать"), QKeySequence(Qt::SHIFT | Qt::Key_Delete),
               reportGlyph("edit-cut"));
    N13 = item(edit, "N13", QStringLiteral("Копировать"), QKeySequence(Qt::CTRL | Qt::Key_Insert),
               reportGlyph("edit-copy"));
    N14 = separator(edit, "N14");
    N15 = item(edit, "N15", QStringLiteral("Выделить всё"));
    N16 = separator(edit, "N16");
    N17 = item(edit, "N17", QStringLiteral("Редактирование"));
    N17->setCheckable(true);
    N17->setChecked(false);
}

void TuozKontrol_otchet::buildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolTip(QStringLiteral("Открытие файла"));
    ToolBar1->toggleViewAction()->setEnabled(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    ToolButton1 = toolButton(ToolBar1, "ToolButton1", N2, ImageList1[0]);
    ToolButton2 = toolButton(ToolBar1, "ToolButton2", N7, ImageList1[3]);
    ToolButton3 = toolButton(ToolBar1, "ToolButton3", N6, ImageList1[1]);
    ToolButton4 = new QWidget(ToolBar1);
    ToolButton4->setObjectName(QStringLiteral("ToolButton4"));
    ToolButton4->setFixedSize(8, 25);
    ToolBar1->addWidget(ToolButton4);

    // The two lists have no hint of their own and so show the tool bar's.
    ColorBox1 = new QComboBox(ToolBar1);
    ColorBox1->setObjectName(QStringLiteral("ColorBox1"));
    ColorBox1->setFixedWidth(145);
    for (const ColorChoice& choice : colorChoices())
        ColorBox1->addItem(swatch(currentColor(choice, palette())), choice.name);
    ColorBox1->setCurrentIndex(0);
    ToolBar1->addWidget(ColorBox1);

    ComboBoxEx1 = new QComboBox(ToolBar1);
    ComboBoxEx1->setObjectName(QStringLiteral("ComboBoxEx1"));
    ComboBoxEx1->setFixedWidth(145);
    ComboBoxEx1->setEditable(true);
    ComboBoxEx1->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxEx1->setCompleter(nullptr);
    ComboBoxEx1->lineEdit()->installEventFilter(new IgnoreEnter(ComboBoxEx1));
    ToolBar1->addWidget(ComboBoxEx1);
}

void TuozKontrol_otchet::buildClientArea() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    RichEdit1 = new RichEdit(Panel1);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    layout->addWidget(RichEdit1);
    RichEdit1->hide();
    setCentralWidget(Panel1);
    resize(792, 552 + MainMenu1->sizeHint().height());
}

void TuozKontrol_otchet::connectHandlers() {
    const std::pair<QAction*, void (TuozKontrol_otchet::*)()> handlers[] = {
        {N20, &TuozKontrol_otchet::N20Click}, {N2, &TuozKontrol_otchet::N2Click},
        {N3, &TuozKontrol_otchet::N3Click},   {N6, &TuozKontrol_otchet::N6Click},
        {N7, &TuozKontrol_otchet::N7Click},   {N18, &TuozKontrol_otchet::N18Click},
        {N5, &TuozKontrol_otchet::N5Click},   {N10, &TuozKontrol_otchet::N10Click},
        {N12, &TuozKontrol_otchet::N12Click}, {N13, &TuozKontrol_otchet::N13Click},
        {N15, &TuozKontrol_otchet::N15Click}, {N17, &TuozKontrol_otchet::N17Click}};
    for (const auto& [action, handler] : handlers)
        onEvent(action, &QAction::triggered, this,
                [this, handler = handler] { (this->*handler)(); });
    onEvent(ColorBox1, &QComboBox::activated, this, [this] { ColorBox1Change(); });
    onEvent(ComboBoxEx1, &QComboBox::activated, this, [this] { ComboBoxEx1Click(); });
}
