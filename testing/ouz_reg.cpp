#include "ouz_reg.h"

TFormReg* FormReg = nullptr;

TFormReg::TFormReg(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("FormReg"));
    setWindowTitle(QStringLiteral("Регистрация тестируемого"));
}
