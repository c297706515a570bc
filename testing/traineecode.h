#pragma once

#include "form.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The window that asks for the trainee's code once after "Открыть БД" on a server bank file:
// the code from the slip the teacher handed out, typed in any case, with or without dashes.
class TraineeCodeForm : public Form {
    Q_OBJECT
public:
    explicit TraineeCodeForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;     // the code as typed
    QPushButton* Button1; // "ОК"
    QPushButton* Button2; // "Отмена"

    void Button1Click();
    void Button2Click();

protected:
    void FormShow() override;
};

namespace traineecode {

// Asks in `form` until a text that reads as a code is given (true, `*code` the code as the
// server keeps it) or the trainee cancels (false). A text that is no code gets a notice saying
// why.
bool ask(TraineeCodeForm* form, QString* code);

// Why a typed text is no trainee code; empty when it is one.
QString problem(const QString& typed);

} // namespace traineecode
