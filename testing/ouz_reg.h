#pragma once

#include "form.h"

class TFormReg : public Form {
    Q_OBJECT
public:
    explicit TFormReg(QWidget* parent = nullptr);
};

extern TFormReg* FormReg;
