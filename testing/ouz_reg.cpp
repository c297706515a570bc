#include "ouz_reg.h"

#include "designer.h"
#include "formats.h"
#include "guard.h"
#include "timer.h"
#include "uoz_kontrol.h"
#include "vivodsoobsh.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFormReg* FormReg = nullptr;

TFormReg::TFormReg(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("FormReg"));
    setWindowTitle(QStringLiteral("Регистрация тестируемого"));
    // A title bar without buttons: no system menu, no close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QWidget* client = makeClientArea(QStringLiteral("MS Sans Serif"), 11);

    Label1 = designer::label(client, "Label1",
                             QStringLiteral("Фамилия, имя, отчество тестируемого"), 151, 8);
    Edit1 = designer::edit(client, "Edit1", QRect(2, 24, 496, 21), QString());
    Label3 = designer::label(client, "Label3", QStringLiteral("Текущая дата"), 71, 48);
    Label2 = designer::label(client, "Label2", QStringLiteral("Текущее время"), 350, 48);
    Edit2 = designer::edit(client, "Edit2", QRect(0, 64, 245, 21), QString());
    Edit3 = designer::edit(client, "Edit3", QRect(256, 64, 245, 21), QString());
    Button1 = new QPushButton(QStringLiteral("Тест"), client);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(214, 90, 75, 25);
    Button1->setAutoDefault(false); // Enter in the name field does not sign in
    Button1->setDefault(false);
    Edit4 = designer::edit(client, "Edit4", QRect(339, 90, 121, 21), QStringLiteral("Edit4"));
    Edit4->hide();
    Edit5 = designer::edit(client, "Edit5", QRect(51, 88, 57, 21), QStringLiteral("Edit5"));
    Edit5->hide();
    setTabOrder(Button1, Edit1);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Edit4);
    setTabOrder(Edit4, Edit5);
    setFixedClientSize(501, 115);

    onEvent(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    Timer1 = new Timer(this, QStringLiteral("Timer1"), 100, true, [this] { Timer1Timer(); });
}

void TFormReg::FormShow() {
    Edit1->setFocus();
    Edit4->clear();
    Edit5->clear();
    Edit1->clear();
}

void TFormReg::Button1Click() {
    if (Edit1->text().isEmpty()) {
        raiseNotice(QStringLiteral("Зарегистрируйтесь!"));
        return;
    }
    // The name exactly as typed: not trimmed, not checked.
    Edit4->setText(Edit1->text());
    Edit5->setText(Edit1->text());
    Edit1->clear();
    uozKontrol->show();
    hide();
}

void TFormReg::FormClose() {
    // The window has no close box, but a keyboard command can still close it. The test window,
    // hidden while the trainee signs in, must not stay hidden with nothing usable on screen.
    if (isVisible())
        uozKontrol->signInAbandoned();
}

void TFormReg::Timer1Timer() {
    formats::Settings& f = formats::settings();
    const QDateTime t = clock_::now();
    f.dateSeparator = QLatin1Char('-');
    f.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    Edit2->setText(formats::formatDateTime(f.shortDateFormat, t));
    f.timeSeparator = QLatin1Char('-');
    Edit3->setText(formats::formatDateTime(f.longTimeFormat, t));
}
