#pragma once

#include "dialogs.h"
#include "form.h"

class DataSource;
class DBEdit;
class DBImage;
class DBMemo;
class DBNavigator;
class QAction;
class QLabel;
class QMenuBar;

// The question editor: a bank's questions are browsed, changed, inserted and deleted record
// by record through data-aware controls and a record navigator on the shared data source.
// Its own handlers only open and close the bank and close the window.
class TuozKontrol_redaktor : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol_redaktor(QWidget* parent = nullptr);

    // The data module is created after this window; start-up binds the controls then.
    void bindDataSource(DataSource* source);

    QMenuBar* MainMenu1;
    QAction* N1; // "Файл"
    QAction* N6; // "Открыть БД"
    QAction* N8; // "Закрыть БД"
    QAction* N7; // separator
    QAction* N5; // "Выход"

    QLabel* Label7;
    DBEdit* DBEdit1; // Name
    DBNavigator* DBNavigator1;
    QLabel* Label5;
    DBEdit* DBEdit_Otvet_prav; // PrOtvet
    QLabel* Label6;
    QLabel* Label9;
    DBMemo* DBMemo1; // Vopros
    DBImage* DBImage1;
    QLabel* Label1;
    DBMemo* DBMemo2; // Otvet1 ... Otvet4
    QLabel* Label2;
    DBMemo* DBMemo3;
    QLabel* Label3;
    DBMemo* DBMemo4;
    QLabel* Label4;
    DBMemo* DBMemo5;
    dialogs::FileDialog OpenDialog1{dialogs::FileDialog::Open};

    void N6Click();
    void N8Click();
    void N5Click();

protected:
    void FormClose() override;

private:
    // Layout, menu and tab order (uoz_kontrol_redaktor_ui.cpp).
    void buildMenu();
    void buildControls(QWidget* client);
    void setTabOrder();
};

extern TuozKontrol_redaktor* uozKontrol_redaktor;

// Closing the question table from the editor: a record still being edited is written first,
// as a move writes it, so no typed change is lost by closing. A refused write throws and the
// table stays open with the record being edited.
void closeQuestionTable();
