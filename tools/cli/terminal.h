#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace cli {

// Asks the person at the terminal for a secret (a password), as psql does: the prompt goes to
// the terminal, the answer is read from standard input without being shown. Nothing is asked
// when standard input is no terminal (a script, a pipe): nullopt, as for an input that ended.
std::optional<QByteArray> askSecret(const QString& prompt);

} // namespace cli
