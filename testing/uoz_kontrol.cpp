#include "uoz_kontrol.h"

TuozKontrol* uozKontrol = nullptr;

TuozKontrol::TuozKontrol(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol"));
    setWindowTitle(QStringLiteral("Тестовая система контроля уровня подготовки обучаемого"));
}
