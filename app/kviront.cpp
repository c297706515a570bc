#include "kviront.h"

#include "FormAbout.h"
#include "designer.h"
#include "guard.h"
#include "icons.h"
#include "startup.h"
#include "uoz_kontrol.h"
#include "uoz_kontrol_otchet.h"
#include "uoz_kontrol_redaktor.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Квиронт"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(designer::font(QStringLiteral("Tahoma"), 11));

    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);

    auto* fileMenu = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1 = fileMenu->menuAction();
    N1->setObjectName(QStringLiteral("N1"));
    N1->setVisible(false);

    auto* learnMenu = MainMenu1->addMenu(QStringLiteral("Обучение"));
    N2 = learnMenu->menuAction();
    N2->setObjectName(QStringLiteral("N2"));
    N8 = learnMenu->addAction(QStringLiteral("Просмотр учебного курса"));
    N8->setObjectName(QStringLiteral("N8"));
    N9 = learnMenu->addAction(QStringLiteral("Редактирование"));
    N9->setObjectName(QStringLiteral("N9"));
    N2->setVisible(false);

    auto* controlMenu = MainMenu1->addMenu(QStringLiteral("Контроль"));
    N3 = controlMenu->menuAction();
    N3->setObjectName(QStringLiteral("N3"));
    N5 = controlMenu->addAction(QStringLiteral("Тест"));
    N5->setObjectName(QStringLiteral("N5"));
    N6 = controlMenu->addAction(QStringLiteral("Редактор"));
    N6->setObjectName(QStringLiteral("N6"));
    N7 = controlMenu->addAction(QStringLiteral("Файлы отчета"));
    N7->setObjectName(QStringLiteral("N7"));

    N4 = MainMenu1->addAction(QStringLiteral("О программе"));
    N4->setObjectName(QStringLiteral("N4"));

    onEvent(N4, &QAction::triggered, this, [this] { N4Click(); });
    onEvent(N5, &QAction::triggered, this, [this] { N5Click(); });
    onEvent(N6, &QAction::triggered, this, [this] { N6Click(); });
    onEvent(N7, &QAction::triggered, this, [this] { N7Click(); });

    auto* client = new QWidget(this);
    setCentralWidget(client);
    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Label1 = new QLabel(QStringLiteral("Квиронт"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    QFont titleFont = designer::font(QStringLiteral("Times New Roman"), 43, true);
    titleFont.setItalic(true);
    Label1->setFont(titleFont);
    Label1->setGeometry(88, 136, 476, Label1->heightForWidth(476));

    // The client area below the menu bar; the window manager's frame comes around it.
    setFixedClientSize(632, 453);
    Panel1->setGeometry(0, 0, 632, 453);
}

// A menu chosen in the instant before the other windows were made makes them first.
void TForm1::N4Click() {
    createOtherForms();
    About->showModal();
}
void TForm1::N5Click() {
    createOtherForms();
    uozKontrol->showModal();
}
void TForm1::N6Click() {
    createOtherForms();
    uozKontrol_redaktor->showModal();
}
void TForm1::N7Click() {
    createOtherForms();
    uozKontrol_otchet->showModal();
}

void TForm1::afterClose() {
    hide();
    QApplication::exit(0);
}
