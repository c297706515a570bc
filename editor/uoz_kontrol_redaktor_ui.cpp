// Layout of the question editor: menu, data-aware controls, navigator, tab order.
#include "dbcontrols.h"
#include "dbnavigator.h"
#include "designer.h"
#include "guard.h"
#include "lazyicon.h"
#include "uoz_kontrol_redaktor.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>

namespace {
DBMemo* makeMemo(QWidget* parent, const char* name, const char* field, const QRect& place) {
    auto* memo = new DBMemo(QLatin1String(name), QLatin1String(field), parent);
    memo->setGeometry(place);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setTabChangesFocus(true); // Tab moves along the tab order, as in the other fields
    return memo;
}

// The window's font is drawn by a wider face than the one the places were made for: a label
// that would run under the control to its right (or off the window) gets a smaller size.
void fitLabel(QLabel* label, int right) {
    const QString family = label->font().family();
    for (int size = label->font().pixelSize();
         label->sizeHint().width() > right - label->x() && size > 8;)
        label->setFont(designer::font(family, --size));
    label->adjustSize();
}

DBEdit* makeEdit(QWidget* parent, const char* name, const char* field, const QRect& place) {
    auto* edit = new DBEdit(QLatin1String(name), QLatin1String(field), parent);
    edit->setGeometry(place);
    return edit;
}
} // namespace

void TuozKontrol_redaktor::buildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);

    QMenu* fileMenu = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1 = fileMenu->menuAction();
    N6 = fileMenu->addAction(lazyStandardIcon(QStyle::SP_DialogOpenButton),
                             QStringLiteral("Открыть БД"));
    N8 = fileMenu->addAction(QStringLiteral("Закрыть БД"));
    N7 = fileMenu->addSeparator();
    N5 = fileMenu->addAction(lazyStandardIcon(QStyle::SP_DialogCloseButton),
                             QStringLiteral("Выход"));
    const std::pair<QAction*, const char*> names[] = {
        {N1, "N1"}, {N6, "N6"}, {N8, "N8"}, {N7, "N7"}, {N5, "N5"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QLatin1String(name));

    onEvent(N6, &QAction::triggered, this, [this] { N6Click(); });
    onEvent(N8, &QAction::triggered, this, [this] { N8Click(); });
    onEvent(N5, &QAction::triggered, this, [this] { N5Click(); });
}

void TuozKontrol_redaktor::buildControls(QWidget* client) {
    Label7 = designer::label(client, "Label7", QStringLiteral("Порядковый номер вопроса"), 7, 12);
    DBEdit1 = makeEdit(client, "DBEdit1", "Name", QRect(161, 3, 97, 21));
    DBNavigator1 = new DBNavigator(QStringLiteral("DBNavigator1"), client);
    DBNavigator1->setGeometry(277, 0, 240, 25);
    Label5 = designer::label(client, "Label5", QStringLiteral("Номер правильного ответа"), 533, 12);
    DBEdit_Otvet_prav = makeEdit(client, "DBEdit_Otvet_prav", "PrOtvet", QRect(677, 3, 97, 21));

    Label6 = designer::label(client, "Label6", QStringLiteral("Содержание вопроса"), 284, 32);
    Label9 = designer::label(client, "Label9", QStringLiteral("Графический материал по вопросу"),
                             611, 32);
    DBMemo1 = makeMemo(client, "DBMemo1", "Vopros", QRect(3, 47, 390, 258));
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DBMemo1->setToolTip(QStringLiteral("Содержание вопроса"));
    DBImage1 = new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), client);
    DBImage1->setGeometry(400, 47, 390, 258);
    DBImage1->setToolTip(QStringLiteral("Графический материал по проверяемому вопросу"));

    Label1 = designer::label(client, "Label1", QStringLiteral("Вариант ответа №1"), 344, 305);
    DBMemo2 = makeMemo(client, "DBMemo2", "Otvet1", QRect(1, 320, 785, 42));
    Label2 = designer::label(client, "Label2", QStringLiteral("Вариант ответа №2"), 344, 364);
    DBMemo3 = makeMemo(client, "DBMemo3", "Otvet2", QRect(1, 380, 785, 42));
    Label3 = designer::label(client, "Label3", QStringLiteral("Вариант ответа №3"), 344, 423);
    DBMemo4 = makeMemo(client, "DBMemo4", "Otvet3", QRect(1, 439, 785, 42));
    Label4 = designer::label(client, "Label4", QStringLiteral("Вариант ответа №4"), 344, 481);
    DBMemo5 = makeMemo(client, "DBMemo5", "Otvet4", QRect(0, 496, 785, 42));

    fitLabel(Label7, DBEdit1->x() - 2);
    fitLabel(Label5, DBEdit_Otvet_prav->x() - 2);
    fitLabel(Label9, 790);
}

void TuozKontrol_redaktor::setTabOrder() {
    QWidget* const order[] = {DBNavigator1, DBEdit_Otvet_prav, DBMemo1, DBEdit1, DBImage1,
                              DBMemo2,      DBMemo3,           DBMemo4, DBMemo5};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void TuozKontrol_redaktor::bindDataSource(DataSource* source) {
    for (DBMemo* memo : {DBMemo1, DBMemo2, DBMemo3, DBMemo4, DBMemo5})
        memo->setDataSource(source);
    DBEdit1->setDataSource(source);
    DBEdit_Otvet_prav->setDataSource(source);
    DBImage1->setDataSource(source);
    DBNavigator1->setDataSource(source);
}
