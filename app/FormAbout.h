#pragma once

#include "form.h"

class QLabel;

// The static About window, closed only through its title bar.
class TAbout : public Form {
    Q_OBJECT
public:
    explicit TAbout(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Image1;
};

extern TAbout* About;
