#pragma once

#include "form.h"

class TuozKontrol_redaktor : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol_redaktor(QWidget* parent = nullptr);
};

extern TuozKontrol_redaktor* uozKontrol_redaktor;
