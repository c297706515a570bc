#pragma once

#include "dataModule.h"
#include "dbcontrols.h"
#include "error.h"
#include "ui_seams.h"

#include <QWidget>

// The data module with data-aware controls bound as the windows bind theirs, and the open
// procedure run through the file-dialog seam.
class OpenFixture {
protected:
    QWidget m_host;
    DBMemo* m_question = nullptr;
    DBEdit* m_right = nullptr;
    DBEdit* m_name = nullptr;
    DBImage* m_image = nullptr;
    dialogs::FileDialog m_dialog{dialogs::FileDialog::Open};

    // Makes the data module and binds the question's controls to it.
    void makeDataModule() {
        DataModule1 = new TDataModule1;
        m_question = new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Vopros"), &m_host);
        for (int i = 1; i <= 4; ++i)
            (new DBMemo(QStringLiteral("DBMemo_Otv%1").arg(i), QStringLiteral("Otvet%1").arg(i),
                        &m_host))
                ->setDataSource(DataModule1->DataSourceControl);
        m_right = new DBEdit(QStringLiteral("PrOtvet"), QStringLiteral("PrOtvet"), &m_host);
        m_image = new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), &m_host);
        m_name = new DBEdit(QStringLiteral("DBEdit1"), QStringLiteral("Name"), &m_host);
        for (DataControl* c :
             std::initializer_list<DataControl*>{m_question, m_right, m_image, m_name})
            c->setDataSource(DataModule1->DataSourceControl);
    }
    void dropDataModule() {
        delete DataModule1;
        DataModule1 = nullptr;
    }

    // Runs the open procedure on `path`; returns the error text, or "" when it opened.
    QString openPath(const QString& path) {
        dialogs::queueFileAnswer(path);
        try {
            if (!openBank(m_dialog, &m_host))
                return QStringLiteral("cancelled");
        } catch (const DatabaseError& e) {
            return e.message();
        }
        return QString();
    }
    ADOConnection* connection() { return DataModule1->ADOConnectionControl; }
    ADOTable* table() { return DataModule1->ADOTableControl; }
};
