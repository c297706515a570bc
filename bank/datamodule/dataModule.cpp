#include "dataModule.h"

#include "sqlite.h"

TDataModule1* DataModule1 = nullptr;

TDataModule1::TDataModule1(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("DataModule1"));
    // The database access objects must exist before the message loop runs.
    sqlite::checkEngine();
    // Not connected and closed: creating the data module opens no bank.
    ADOConnectionControl = new ADOConnection(this);
    ADOTableControl = new ADOTable(ADOConnectionControl, this);
    DataSourceControl = new DataSource(this);
    DataSourceControl->setObjectName(QStringLiteral("DataSourceControl"));
    DataSourceControl->setDataset(ADOTableControl);
}

TDataModule1::~TDataModule1() {
    // Each component still refers to the one made before it.
    delete DataSourceControl;
    delete ADOTableControl;
    delete ADOConnectionControl;
}

bool openBank(dialogs::FileDialog& OpenDialog1, QWidget* dialogParent,
              const std::optional<serverbank::RunRequest>& run) {
    TDataModule1* module = DataModule1;
    module->ADOConnectionControl->close();
    module->ADOTableControl->close();
    OpenDialog1.filter = QStringLiteral("Файлы базы данных|*.mdb");
    if (!OpenDialog1.execute(dialogParent))
        return false; // no bank open, the connection disconnected
    module->ADOConnectionControl->setConnectionString(OpenDialog1.fileName);
    module->ADOConnectionControl->setRunRequest(run);
    module->ADOConnectionControl->open();
    module->ADOTableControl->open(); // the first record current
    return true;
}
