#include "setup.h"

namespace kvserver {

int runSetup(const SetupOptions&, std::ostream&, std::ostream& err) {
    err << "kviront-server: setup ещё не готов\n";
    return 1;
}

} // namespace kvserver
