#pragma once

#include <QByteArray>

namespace serversitting {
struct Opened;
}

// The printable sheet of slips for a sitting: one slip per code with the trainee's name, the
// code, the bank and the date, to cut apart and hand out. One self-contained HTML file.
namespace slips {

QByteArray html(const serversitting::Opened& sitting);

} // namespace slips
