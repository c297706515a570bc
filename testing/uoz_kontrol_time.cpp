#include "uoz_kontrol_time.h"

TuozKontrol_Time* uozKontrol_Time = nullptr;

TuozKontrol_Time::TuozKontrol_Time(QWidget* parent) : Form(parent) {
    setObjectName(QStringLiteral("uozKontrol_Time"));
    setWindowTitle(QStringLiteral("Время тестирования"));
}
