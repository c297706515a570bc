#include "traineecode.h"

#include "classapi.h"
#include "designer.h"
#include "guard.h"
#include "traineecode_hook.h"
#include "vivodsoobsh.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QQueue>
#include <optional>

namespace traineecodehook {
QQueue<std::optional<QString>>& answers() {
    static QQueue<std::optional<QString>> queued;
    return queued;
}
} // namespace traineecodehook

namespace {

// A code typed with the Russian keyboard layout on: the Cyrillic letters that look like the
// code's Latin ones are taken for them.
std::string asTyped(const QString& typed) {
    static const QString cyrillic = QStringLiteral("АВЕКМНРСТХУавекмнрстху");
    static const QString latin = QStringLiteral("ABEKMHPCTXYabekmhpctxy");
    QString text = typed;
    for (QChar& c : text) {
        const qsizetype k = cyrillic.indexOf(c);
        if (k >= 0)
            c = latin[k];
    }
    return text.toStdString();
}
} // namespace

TraineeCodeForm::TraineeCodeForm(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("TraineeCodeForm"));
    setWindowTitle(QStringLiteral("Код тестируемого"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QWidget* client = makeClientArea(QStringLiteral("MS Sans Serif"), 11);

    Label1 =
        designer::label(client, "Label1",
                        QStringLiteral("Код тестируемого с листка, который выдал учитель:"), 8, 8);
    Edit1 = designer::edit(client, "Edit1", QRect(8, 26, 304, 24));
    Edit1->setFont(designer::font(QStringLiteral("Tahoma"), 16, true));
    Edit1->setMaxLength(classapi::maxCodeInputChars);
    Button1 = new QPushButton(QStringLiteral("ОК"), client);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(76, 60, 75, 25);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Отмена"), client);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(169, 60, 75, 25);
    Button2->setAutoDefault(false);
    setFixedClientSize(320, 93);

    onEvent(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    // Enter in the code field confirms: a main window has no default button of its own.
    onEvent(Edit1, &QLineEdit::returnPressed, this, [this] { Button1Click(); });
    onEvent(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TraineeCodeForm::FormShow() {
    Edit1->clear();
    Edit1->setFocus();
}

void TraineeCodeForm::Button1Click() {
    const QString why = traineecode::problem(Edit1->text());
    if (!why.isEmpty()) {
        raiseNotice(why);
        Edit1->setFocus();
        return;
    }
    setModalResult(mrOk);
}

void TraineeCodeForm::Button2Click() {
    setModalResult(mrCancel);
}

namespace traineecode {

QString problem(const QString& typed) {
    if (typed.trimmed().isEmpty())
        return QStringLiteral("Введите код тестируемого с листка, который выдал учитель.");
    if (classapi::normaliseCode(asTyped(typed)))
        return {};
    return QStringLiteral("Код «%1» набран неверно: в коде %2 знаков — латинские буквы и цифры, "
                          "как на листке от учителя (например, K7QX-M2PD-W9). Букв O, I, L и "
                          "цифр 0, 1 в кодах нет.")
        .arg(typed.left(classapi::maxCodeInputChars))
        .arg(classapi::codeLength);
}

bool ask(TraineeCodeForm* form, QString* code) {
    for (;;) {
        QString typed;
        if (QQueue<std::optional<QString>>& queued = traineecodehook::answers();
            !queued.isEmpty()) {
            const std::optional<QString> answer = queued.dequeue();
            if (!answer)
                return false;
            typed = *answer;
            const QString why = problem(typed);
            if (!why.isEmpty()) {
                raiseNotice(why);
                continue;
            }
        } else {
            if (form->showModal() != mrOk)
                return false;
            typed = form->Edit1->text();
        }
        *code = QString::fromStdString(*classapi::normaliseCode(asTyped(typed)));
        return true;
    }
}

} // namespace traineecode
