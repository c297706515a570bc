#pragma once

#include "form.h"

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The answer-time window: four check boxes choose 30, 35, 45 or 60 seconds per question; the
// choice is published as text in the hidden Edit4, where the test window reads it.
class TuozKontrol_Time : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol_Time(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1; // "30"
    QLabel* Label2;
    QCheckBox* CheckBox1;
    QLineEdit* Edit5; // "35"
    QLabel* Label5;
    QCheckBox* CheckBox4;
    QLineEdit* Edit2; // "45"
    QLabel* Label3;
    QCheckBox* CheckBox2;
    QLineEdit* Edit3; // "60"
    QLabel* Label4;
    QCheckBox* CheckBox3;
    QPushButton* BitBtn1;
    QLineEdit* Edit4; // the published seconds

    void CheckBox1Click() { checkBoxClick(CheckBox1, Edit1); }
    void CheckBox2Click() { checkBoxClick(CheckBox2, Edit2); }
    void CheckBox3Click() { checkBoxClick(CheckBox3, Edit3); }
    void CheckBox4Click() { checkBoxClick(CheckBox4, Edit5); }
    void BitBtn1Click();
    void ConfirmAnswerTime();

    // While a run on a class server goes on, the window shows the sitting's time, checked, and
    // cannot change it; unlock() gives back the choice it had.
    void lockTo(int seconds);
    void unlock();

protected:
    void FormClose() override;

private:
    void checkBoxClick(QCheckBox* clicked, QLineEdit* seconds);
    std::array<QCheckBox*, 4> boxes() const;

    int m_lockedTo = 0;
    bool m_checkedBefore[4] = {};
};

extern TuozKontrol_Time* uozKontrol_Time;

// Seconds of the checked box (process-wide); keeps its last value while no box is checked.
extern double chosenAnswerTime;
