#pragma once

#include <QObject>

// The data module: the program's one connection, dataset and data source.
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule1(QObject* parent = nullptr);
};

extern TDataModule1* DataModule1;
