#pragma once

#include "form.h"

class TuozKontrol : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol(QWidget* parent = nullptr);
};

extern TuozKontrol* uozKontrol;
