#pragma once

#include "form.h"

class QFrame;
class QLabel;
class QPushButton;

// The one modal notice window: a borderless panel with a word-wrapped text and "OK".
class Tvivsoobsh : public Form {
    Q_OBJECT
public:
    explicit Tvivsoobsh(QWidget* parent = nullptr);

    QPushButton* BitBtn1;
    QFrame* Panel1;
    QLabel* Label1;

    void BitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern Tvivsoobsh* vivsoobsh;

// Raises a notice: sets the message window's label and shows it modally until "OK".
void raiseNotice(const QString& text);
