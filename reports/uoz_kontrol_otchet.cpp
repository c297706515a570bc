#include "uoz_kontrol_otchet.h"

TuozKontrol_otchet* uozKontrol_otchet = nullptr;

TuozKontrol_otchet::TuozKontrol_otchet(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol_otchet"));
    setWindowTitle(QStringLiteral("Редактор отчётов"));
}
