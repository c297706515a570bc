#pragma once

#include "form.h"

class TuozKontrol_otchet : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol_otchet(QWidget* parent = nullptr);
};

extern TuozKontrol_otchet* uozKontrol_otchet;
