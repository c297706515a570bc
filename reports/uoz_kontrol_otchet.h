#pragma once

#include "dialogs.h"
#include "form.h"

#include <QIcon>
#include <QList>

class QAction;
class QComboBox;
class QFrame;
class QMenuBar;
class QToolBar;
class QToolButton;
class RichEdit;

// The report editor: protocol files are opened, read, edited, saved under their own or a new
// name, coloured and re-fonted on screen, and printed.
class TuozKontrol_otchet : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol_otchet(QWidget* parent = nullptr);
    ~TuozKontrol_otchet() override;

    QToolBar* ToolBar1;
    QToolButton* ToolButton1;
    QToolButton* ToolButton2;
    QToolButton* ToolButton3;
    QWidget* ToolButton4;
    QComboBox* ColorBox1;
    QComboBox* ComboBoxEx1;
    QFrame* Panel1;
    RichEdit* RichEdit1;
    QMenuBar* MainMenu1;
    QList<QIcon> ImageList1;
    dialogs::FileDialog OpenDialog1{dialogs::FileDialog::Open};
    dialogs::FileDialog SaveDialog1{dialogs::FileDialog::Save};

    QAction* N1;
    QAction* N20;
    QAction* N2;
    QAction* N3;
    QAction* N4;
    QAction* N6;
    QAction* N7;
    QAction* N8;
    QAction* N18;
    QAction* N19;
    QAction* N5;
    QAction* N9;
    QAction* N10;
    QAction* N11;
    QAction* N12;
    QAction* N13;
    QAction* N14;
    QAction* N15;
    QAction* N16;
    QAction* N17;

    void N20Click();
    void N2Click();
    void N3Click();
    void N6Click();
    void N7Click();
    void N18Click();
    void N5Click();
    void N10Click();
    void N12Click();
    void N13Click();
    void N15Click();
    void N17Click();
    void ColorBox1Change();
    void FormCreate();
    void ComboBoxEx1Click();

protected:
    // Saves a changed text before the window closes; FormClose then clears it.
    bool FormCloseQuery() override;
    void FormClose() override;

private:
    // Layout, menu and tool bar (uoz_kontrol_otchet_ui.cpp).
    void buildMenu();
    void buildToolBar();
    void buildClientArea();
    void connectHandlers();
};

extern TuozKontrol_otchet* uozKontrol_otchet;

// The editor's state, one set for the whole run of the program.
extern double OtchetOpened;    // 1.0 once the shown text was loaded with "Открыть"
extern double OtchetCreated;   // 1.0 after "Создать"
extern QString OtchetFileName; // the name of the last save through SaveOtchetIfModified

void ShowOtchet(TuozKontrol_otchet* form);
void ClearOtchet(TuozKontrol_otchet* form);
void SaveOtchetIfModified(TuozKontrol_otchet* form);
