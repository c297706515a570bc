#include "uoz_kontrol_time.h"

#include "designer.h"

#include "guard.h"
#include "numbers.h"
#include "uoz_kontrol.h"
#include "vivodsoobsh.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TuozKontrol_Time* uozKontrol_Time = nullptr;
double chosenAnswerTime = 35.0;

namespace {
QLineEdit* makeNumber(QWidget* parent, const char* name, int top, const QString& text) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(103, top, 21, 21);
    edit->setReadOnly(true);
    return edit;
}

QCheckBox* makeBox(QWidget* parent, const char* name, int top) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(167, top, 17, 17);
    return box;
}
} // namespace

TuozKontrol_Time::TuozKontrol_Time(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol_Time"));
    setWindowTitle(QStringLiteral("Время тестирования"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QWidget* client = makeClientArea(QStringLiteral("MS Sans Serif"), 11);

    Label1 = designer::label(client, "Label1",
                             QStringLiteral("Выберите время ответа на один вопрос теста"), 27, 2);
    Edit1 = makeNumber(client, "Edit1", 25, QStringLiteral("30"));
    Label2 = designer::label(client, "Label2", QStringLiteral("секунд"), 127, 33);
    CheckBox1 = makeBox(client, "CheckBox1", 30);
    Edit5 = makeNumber(client, "Edit5", 48, QStringLiteral("35"));
    Label5 = designer::label(client, "Label5", QStringLiteral("секунд"), 127, 56);
    CheckBox4 = makeBox(client, "CheckBox4", 53);
    CheckBox4->setChecked(true);
    Edit2 = makeNumber(client, "Edit2", 72, QStringLiteral("45"));
    Label3 = designer::label(client, "Label3", QStringLiteral("секунд"), 127, 80);
    CheckBox2 = makeBox(client, "CheckBox2", 78);
    Edit3 = makeNumber(client, "Edit3", 96, QStringLiteral("60"));
    Label4 = designer::label(client, "Label4", QStringLiteral("секунд"), 127, 104);
    CheckBox3 = makeBox(client, "CheckBox3", 102);
    BitBtn1 =
        new QPushButton(designer::checkMarkIcon(QColor(200, 0, 0)), QStringLiteral("ОК"), client);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(104, 124, 75, 25);
    Edit4 = new QLineEdit(QStringLiteral("35"), client);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    Edit4->setGeometry(200, 24, 33, 21);
    Edit4->hide();

    QWidget* order[] = {Edit1,     Edit2,   Edit3, CheckBox1, CheckBox2,
                        CheckBox3, BitBtn1, Edit4, Edit5,     CheckBox4};
    for (int i = 0; i + 1 < int(std::size(order)); ++i)
        setTabOrder(order[i], order[i + 1]);
    setFixedClientSize(284, 156);

    onEvent(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    onEvent(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });
    onEvent(CheckBox3, &QCheckBox::clicked, this, [this] { CheckBox3Click(); });
    onEvent(CheckBox4, &QCheckBox::clicked, this, [this] { CheckBox4Click(); });
    onEvent(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TuozKontrol_Time::checkBoxClick(QCheckBox* clicked, QLineEdit* seconds) {
    // The click has already toggled the box; setChecked on the others runs no click handling.
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4})
        if (box != clicked)
            box->setChecked(false);
    if (clicked->isChecked())
        chosenAnswerTime = numbers::strToFloat(seconds->text());
}

void TuozKontrol_Time::BitBtn1Click() {
    ConfirmAnswerTime();
}

void TuozKontrol_Time::ConfirmAnswerTime() {
    if (m_lockedTo != 0) { // a class-server run's time is the sitting's: nothing to publish
        hide();
        return;
    }
    const bool chosen = CheckBox1->isChecked() || CheckBox2->isChecked() ||
                        CheckBox3->isChecked() || CheckBox4->isChecked();
    if (!chosen) {
        raiseNotice(QStringLiteral("Выберите один из временных интервалов !"));
        return;
    }
    Edit4->setText(numbers::floatToStr(chosenAnswerTime));
    uozKontrol->Edit3->setText(Edit4->text());
    hide();
}

void TuozKontrol_Time::FormClose() {
    ConfirmAnswerTime();
}

void TuozKontrol_Time::lockTo(int seconds) {
    if (m_lockedTo == 0)
        for (int k = 0; k < 4; ++k)
            m_checkedBefore[k] = boxes()[k]->isChecked();
    m_lockedTo = seconds;
    QLineEdit* const numbers[4] = {Edit1, Edit5, Edit2, Edit3};
    for (int k = 0; k < 4; ++k) {
        boxes()[k]->setChecked(numbers[k]->text() == QString::number(seconds));
        boxes()[k]->setEnabled(false);
    }
}

void TuozKontrol_Time::unlock() {
    if (m_lockedTo == 0)
        return;
    m_lockedTo = 0;
    for (int k = 0; k < 4; ++k) {
        boxes()[k]->setChecked(m_checkedBefore[k]);
        boxes()[k]->setEnabled(true);
    }
}

std::array<QCheckBox*, 4> TuozKontrol_Time::boxes() const {
    return {CheckBox1, CheckBox4, CheckBox2, CheckBox3}; // 30, 35, 45, 60 seconds
}
