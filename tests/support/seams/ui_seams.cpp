#include "ui_seams.h"

#include "guard.h"
#include "ui_hook.h"

namespace dialogs {

void queueFileAnswer(const QString& path) {
    uihook::dialogAnswers().files.enqueue(path);
}
void queueFileCancel() {
    uihook::dialogAnswers().files.enqueue(std::nullopt);
}
void queueConfirm(bool ok) {
    uihook::dialogAnswers().confirms.enqueue(ok);
}
int pendingAnswers() {
    const uihook::DialogAnswers& a = uihook::dialogAnswers();
    return int(a.files.size() + a.confirms.size());
}
void clearAnswers() {
    uihook::dialogAnswers().files.clear();
    uihook::dialogAnswers().confirms.clear();
}
QString lastFilter() {
    return uihook::dialogAnswers().lastFilter;
}
QString lastCaption() {
    return uihook::dialogAnswers().lastCaption;
}
QString lastConfirmText() {
    return uihook::dialogAnswers().lastConfirmText;
}

} // namespace dialogs

void TimerSeam::setManual(bool manual) {
    uihook::manualTimers = manual;
}

bool TimerSeam::manual() {
    return uihook::manualTimers;
}

void TimerSeam::fire(Timer* timer) {
    guard(timer->m_handler);
}
