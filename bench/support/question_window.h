#pragma once

#include "dbcontrols.h"

#include <QWidget>

namespace bench {

// The test window's question controls on one data source.
struct Window {
    QWidget host;
    DataSource source;
    Window() {
        new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Vopros"), &host);
        for (int k = 1; k <= 4; ++k)
            new DBMemo(QStringLiteral("DBMemo_Otv%1").arg(k), QStringLiteral("Otvet%1").arg(k),
                       &host);
        new DBEdit(QStringLiteral("PrOtvet"), QStringLiteral("PrOtvet"), &host);
        new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), &host);
        for (QObject* child : host.children())
            if (auto* control = dynamic_cast<DataControl*>(child))
                control->setDataSource(&source);
    }
};

} // namespace bench
