#include "uoz_kontrol_redaktor.h"

#include "dataModule.h"
#include "vivodsoobsh.h"

TuozKontrol_redaktor* uozKontrol_redaktor = nullptr;

TuozKontrol_redaktor::TuozKontrol_redaktor(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol_redaktor"));
    setWindowTitle(
        QStringLiteral("Редактор тестовой системы контроля уровня подготовки обучаемого"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    buildMenu();
    buildControls(makeClientArea(QStringLiteral("MS Sans Serif"), 11));
    setTabOrder();
    setFixedClientSize(792, 538);
}

void closeQuestionTable() {
    ADOTable* table = DataModule1->ADOTableControl;
    table->checkBrowseMode();
    table->close();
}

void TuozKontrol_redaktor::N6Click() {
    // The open procedure closes the table first: what was typed is written before that.
    DataModule1->ADOTableControl->checkBrowseMode();
    if (!openBank(OpenDialog1, this))
        return;
    // A bank that browses but cannot change (an old format, a protected file or folder): say
    // so once, when it is opened, so the disabled buttons do not look like a broken editor.
    const QString notice = DataModule1->ADOConnectionControl->readOnlyNotice();
    if (!notice.isEmpty())
        raiseNotice(notice);
}

void TuozKontrol_redaktor::N8Click() {
    closeQuestionTable();
}

void TuozKontrol_redaktor::N5Click() {
    closeForm();
}

void TuozKontrol_redaktor::FormClose() {
    closeQuestionTable(); // a refused write keeps the window open
}
