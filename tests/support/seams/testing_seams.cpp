#include "testing_seams.h"

#include "traineecode_hook.h"

namespace traineecode {
void queueAnswer(const QString& typed) {
    traineecodehook::answers().enqueue(typed);
}
void queueCancel() {
    traineecodehook::answers().enqueue(std::nullopt);
}
int pendingAnswers() {
    return int(traineecodehook::answers().size());
}
void clearAnswers() {
    traineecodehook::answers().clear();
}
} // namespace traineecode
