#pragma once

#include "form.h"

class QAction;
class QFrame;
class QLabel;
class QMenuBar;

// The main window: the product title and the menu that opens every other window modally.
class TForm1 : public Form {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    QMenuBar* MainMenu1;
    QAction* N1;
    QAction* N2;
    QAction* N3;
    QAction* N4;
    QFrame* Panel1;
    QLabel* Label1;
    QAction* N5;
    QAction* N6;
    QAction* N7;
    QAction* N8;
    QAction* N9;

    void N4Click();
    void N5Click();
    void N6Click();
    void N7Click();

protected:
    // Closing the main window ends the program, without a question.
    void afterClose() override;
};

extern TForm1* Form1;
