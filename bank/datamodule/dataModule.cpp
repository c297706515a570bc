#include "dataModule.h"

#include "outbox.h"
#include "serverbankfile.h"
#include "sqlite.h"
#include "textfile.h"

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
    classRuns = new Outbox(classjournal::defaultFolder(), this);
}

TDataModule1::~TDataModule1() {
    // What a class server has not acknowledged gets one more bounded try; the rest waits in the
    // journal for the next start.
    classRuns->lastTry();
    // Each component still refers to the one made before it.
    delete DataSourceControl;
    delete ADOTableControl;
    delete ADOConnectionControl;
}

bool openBank(dialogs::FileDialog& OpenDialog1, QWidget* dialogParent, QString* serverFile) {
    TDataModule1* module = DataModule1;
    module->ADOConnectionControl->close();
    module->ADOTableControl->close();
    OpenDialog1.filter = QStringLiteral("Файлы базы данных|*.mdb");
    if (!OpenDialog1.execute(dialogParent))
        return false; // no bank open, the connection disconnected
    module->ADOConnectionControl->setConnectionString(OpenDialog1.fileName);
    if (serverFile && isServerBankFile(OpenDialog1.fileName)) {
        *serverFile = OpenDialog1.fileName; // the caller starts the run, then opens its records
        return true;
    }
    module->ADOConnectionControl->open();
    module->ADOTableControl->open(); // the first record current
    return true;
}

bool isServerBankFile(const QString& path) {
    try {
        return serverbank::isServerBankHead(textfile::readHead(path, serverbank::headBytes));
    } catch (const Error&) {
        return false; // the engine's open says why the file does not read
    }
}
