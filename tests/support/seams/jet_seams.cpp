#include "jet_seams.h"

#include "jetbank_hook.h"

void jetbank::setReader(const QString& program, int wallMilliseconds) {
    hook::readerProgram = program;
    hook::wallMs = program.isEmpty() ? wallSeconds * 1000 : wallMilliseconds;
}
