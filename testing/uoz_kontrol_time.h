#pragma once

#include "form.h"

class TuozKontrol_Time : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol_Time(QWidget* parent = nullptr);
};

extern TuozKontrol_Time* uozKontrol_Time;
