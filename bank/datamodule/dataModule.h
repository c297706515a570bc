#pragma once

#include "adoconnection.h"
#include "adotable.h"
#include "datasource.h"
#include "dialogs.h"

#include <QObject>

class Outbox;

// The data module: the program's one connection, its one dataset over table "kontrol" and
// its one data source, to which the data-aware controls of every window are bound.
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    // Throws DatabaseError when the database access objects cannot be made.
    explicit TDataModule1(QObject* parent = nullptr);
    ~TDataModule1() override;

    ADOConnection* ADOConnectionControl;
    ADOTable* ADOTableControl;
    DataSource* DataSourceControl;
    // The runs on class servers and their journal, which outlive every window.
    Outbox* classRuns;
};

extern TDataModule1* DataModule1;

// The open procedure shared by the test window and the question editor: disconnect, close
// the table, run the window's own OpenDialog1 ("Файлы базы данных|*.mdb"), and unless it was
// cancelled set the connection string to the chosen path, connect and open the table with
// its first record current. Returns false when the dialog was cancelled. Errors (Error /
// DatabaseError) propagate to the calling handler, leaving the state their step reached.
// With `serverFile`, a server bank file is not connected: its path is stored there and the
// caller starts the run on the class server; without it such a file is refused.
bool openBank(dialogs::FileDialog& OpenDialog1, QWidget* dialogParent,
              QString* serverFile = nullptr);

// Whether the file is a server bank file (of any format), told by its first bytes.
bool isServerBankFile(const QString& path);
