#pragma once

#include <QIcon>

// The program's own icon: a check mark on a blue sheet, drawn at start rather than shipped.
QIcon programIcon();
