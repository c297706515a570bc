#pragma once

#include "form.h"

class QLabel;
class QLineEdit;
class QPushButton;
class Timer;

// The sign-in window: the trainee types a full name, which the test window reads from the
// hidden Edit4 (protocol file name) and Edit5 (protocol header).
class TFormReg : public Form {
    Q_OBJECT
public:
    explicit TFormReg(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1; // the name as typed
    QLabel* Label3;
    QLabel* Label2;
    QLineEdit* Edit2; // date
    QLineEdit* Edit3; // time
    QPushButton* Button1;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    Timer* Timer1;

    void Button1Click();
    void Timer1Timer();

protected:
    void FormShow() override;
    void FormClose() override;
};

extern TFormReg* FormReg;
