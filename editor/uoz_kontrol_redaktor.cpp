#include "uoz_kontrol_redaktor.h"

TuozKontrol_redaktor* uozKontrol_redaktor = nullptr;

TuozKontrol_redaktor::TuozKontrol_redaktor(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol_redaktor"));
    setWindowTitle(
        QStringLiteral("Редактор тестовой системы контроля уровня подготовки обучаемого"));
}
