#include "uoz_kontrol.h"

#include "dataModule.h"
#include "dbcontrols.h"
#include "designer.h"
#include "guard.h"
#include "lazyicon.h"
#include "timer.h"
#include "traineecode.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>

TuozKontrol* uozKontrol = nullptr;

RunState& runState() {
    static RunState state;
    return state;
}

namespace {
QFont boldFont(int pixelSize = 11) {
    return designer::font(QStringLiteral("MS Sans Serif"), pixelSize, true);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  const QColor& colour, int pixelSize = 11) {
    auto* label = designer::label(parent, name, text, left, top);
    label->setFont(boldFont(pixelSize));
    designer::setTextColour(label, colour);
    label->adjustSize();
    return label;
}

// A read-only edit without border on the window's face colour, read like a label.
void makeFaceEdit(QLineEdit* edit) {
    edit->setReadOnly(true);
    edit->setFrame(false);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    edit->setPalette(pal);
}

DBMemo* makeMemo(QWidget* parent, const char* name, const char* field, const QRect& place) {
    auto* memo = new DBMemo(QLatin1String(name), QLatin1String(field), parent);
    memo->setObjectName(QLatin1String(name));
    memo->setGeometry(place);
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}
} // namespace

TuozKontrol::TuozKontrol(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol"));
    setWindowTitle(QStringLiteral("Тестовая система контроля уровня подготовки обучаемого"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    buildMenu();
    buildControls(makeClientArea(QStringLiteral("MS Sans Serif"), 11));
    setFixedClientSize(792, 521);

    Timer1 = new Timer(this, QStringLiteral("Timer1"), 100, true, [this] { Timer1Timer(); });
    Timer2 = new Timer(this, QStringLiteral("Timer2"), 1000, true, [this] { Timer2Timer(); });
    Timer3 = new Timer(this, QStringLiteral("Timer3"), 1000, false, [this] { Timer3Timer(); });
    CodeForm = new TraineeCodeForm();
    m_bankWait = new Timer(this, QStringLiteral("bankWait"), bankWaitIntervalMs, false,
                           [this] { bankWaitTick(); });
}

TuozKontrol::~TuozKontrol() {
    delete CodeForm;
}

void TuozKontrol::buildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);

    QMenu* fileMenu = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1 = fileMenu->menuAction();
    N8 = fileMenu->addAction(lazyStandardIcon(QStyle::SP_DialogOpenButton),
                             QStringLiteral("Открыть БД"));
    N9 = fileMenu->addAction(QStringLiteral("Закрыть БД"));
    N7 = fileMenu->addSeparator();
    N5 = fileMenu->addAction(lazyStandardIcon(QStyle::SP_DialogCloseButton),
                             QStringLiteral("Выход"));
    QMenu* settingsMenu = MainMenu1->addMenu(QStringLiteral("Настройки"));
    N2 = settingsMenu->menuAction();
    N3 = settingsMenu->addAction(QStringLiteral("Время"));
    N4 = settingsMenu->addAction(QStringLiteral("Пользователь"));

    const std::pair<QAction*, const char*> names[] = {{N1, "N1"}, {N8, "N8"}, {N9, "N9"},
                                                      {N7, "N7"}, {N5, "N5"}, {N2, "N2"},
                                                      {N3, "N3"}, {N4, "N4"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QLatin1String(name));
    N8->setEnabled(false);
    N9->setEnabled(false);

    onEvent(N8, &QAction::triggered, this, [this] { N8Click(); });
    onEvent(N9, &QAction::triggered, this, [this] { N9Click(); });
    onEvent(N5, &QAction::triggered, this, [this] { N5Click(); });
    onEvent(N3, &QAction::triggered, this, [this] { N3Click(); });
    onEvent(N4, &QAction::triggered, this, [this] { N4Click(); });
}

void TuozKontrol::buildControls(QWidget* client) {
    Edit1 = designer::edit(client, "Edit1", QRect(3, 0, 782, 21), QString());
    Edit1->setReadOnly(true);

    DBMemo1 = makeMemo(client, "DBMemo1", "Vopros", QRect(3, 28, 390, 258));
    DBMemo1->setFont(boldFont(16));
    DBMemo1->setToolTip(QStringLiteral("Содержание вопроса"));
    DBImage1 = new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), client);
    DBImage1->setObjectName(QStringLiteral("DBImage1"));
    DBImage1->setGeometry(397, 28, 390, 258);
    DBImage1->setReadOnly(true);
    DBImage1->setToolTip(QStringLiteral("Графический материал по вопросу"));

    Label8 = makeLabel(client, "Label8", QStringLiteral("Вам осталось отвечать на вопрос"), 3, 290,
                       Qt::red, 13);
    Edit3 = designer::edit(client, "Edit3", QRect(264, 290, 26, 18), QStringLiteral("35"));
    makeFaceEdit(Edit3);
    Label9 = makeLabel(client, "Label9", QStringLiteral("сек."), 296, 290, Qt::red);
    Label10 = makeLabel(client, "Label10", QStringLiteral("Текущее время:"), 609, 290, Qt::blue);
    Edit2 = designer::edit(client, "Edit2", QRect(727, 290, 60, 13), QString());
    makeFaceEdit(Edit2);

    const int tops[4] = {308, 365, 420, 475};
    const int labelTops[4] = {292, 349, 405, 460};
    const char* labelNames[4] = {"Label1", "Label2", "Label3", "Label4"};
    const char* memoNames[4] = {"DBMemo_Otv1", "DBMemo_Otv2", "DBMemo_Otv3", "DBMemo_Otv4"};
    const char* fields[4] = {"Otvet1", "Otvet2", "Otvet3", "Otvet4"};
    QLabel** labels[4] = {&Label1, &Label2, &Label3, &Label4};
    DBMemo** memos[4] = {&DBMemo_Otv1, &DBMemo_Otv2, &DBMemo_Otv3, &DBMemo_Otv4};
    for (int k = 0; k < 4; ++k) {
        *labels[k] =
            makeLabel(client, labelNames[k], QStringLiteral("Вариант ответа №%1").arg(k + 1), 333,
                      labelTops[k], QColor(0, 128, 0), 13);
        DBMemo* memo = makeMemo(client, memoNames[k], fields[k], QRect(0, tops[k], 785, 42));
        memo->setFont(boldFont());
        memo->viewport()->setCursor(Qt::PointingHandCursor);
        memo->setEnabled(false);
        *memos[k] = memo;
    }
    onEvent(DBMemo_Otv1, &DBMemo::clicked, this, [this] { DBMemo_Otv1Click(); });
    onEvent(DBMemo_Otv2, &DBMemo::clicked, this, [this] { DBMemo_Otv2Click(); });
    onEvent(DBMemo_Otv3, &DBMemo::clicked, this, [this] { DBMemo_Otv3Click(); });
    onEvent(DBMemo_Otv4, &DBMemo::clicked, this, [this] { DBMemo_Otv4Click(); });

    PrOtvet = new DBEdit(QStringLiteral("PrOtvet"), QStringLiteral("PrOtvet"), client);
    PrOtvet->setObjectName(QStringLiteral("PrOtvet"));
    PrOtvet->setGeometry(496, 285, 49, 21);
    PrOtvet->setReadOnly(true);
    PrOtvet->hide();
    Edit4 = designer::edit(client, "Edit4", QRect(696, 252, 25, 21), QStringLiteral("35"));
    Edit4->hide();
}

void TuozKontrol::bindDataSource(DataSource* source) {
    for (DBMemo* memo : {DBMemo1, DBMemo_Otv1, DBMemo_Otv2, DBMemo_Otv3, DBMemo_Otv4})
        memo->setDataSource(source);
    DBImage1->setDataSource(source);
    PrOtvet->setDataSource(source);
}

void TuozKontrol::signInAbandoned() {
    // No trainee is signed in, so no run may be opened until "Пользователь" is used again.
    N8->setEnabled(false);
    show();
}

void TuozKontrol::setAnswerFieldsEnabled(bool enabled) {
    for (DBMemo* memo : {DBMemo_Otv1, DBMemo_Otv2, DBMemo_Otv3, DBMemo_Otv4})
        memo->setEnabled(enabled);
}

void TuozKontrol::setStatus(const QString& text, const QColor& colour) {
    QPalette pal = Edit1->palette();
    pal.setColor(QPalette::Text, colour);
    Edit1->setPalette(pal);
    Edit1->setText(text);
}

void TuozKontrol::closeTable() {
    // A question or an answer is waited for only while its record is open; an answer sent stays
    // with the run job, which sends it whether or not anyone waits.
    if (m_serverWait == ServerWait::Answer || m_serverWait == ServerWait::Question)
        endServerWait();
    DataModule1->ADOTableControl->close();
}

QString TuozKontrol::recordText(const QString& field) const {
    return DataModule1->ADOTableControl->fieldText(field);
}
