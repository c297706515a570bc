#include "run_texts.h"

#include "numbers.h"

namespace runtexts {

QString building() {
    return QStringLiteral("Идёт создание последовательности вопросов");
}

QString built() {
    return QStringLiteral("Последовательность вопросов создана");
}

QString questionStatus(int displayNumber, int count) {
    return QStringLiteral("Вы отвечаете на вопрос номер: ") + numbers::intToStr(displayNumber) +
           QStringLiteral(".   Всего вопросов в тесте:") + numbers::intToStr(count);
}

QString rightVerdict() {
    return QStringLiteral("Верный ответ");
}

QString wrongVerdict(const QString& rightAnswerText) {
    return QStringLiteral("Неверный ответ. Верный ответ номер   ") + rightAnswerText;
}

QString timedOut() {
    return QStringLiteral("Вы не успели ответить на вопрос!");
}

QString result(double right, double wrong, int count) {
    return QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш результат: правильных "
                          "ответов ") +
           numbers::floatToStr(right) + QStringLiteral(". Неправильных ответов ") +
           numbers::floatToStr(wrong) + QStringLiteral(". Всего вопросов ") +
           numbers::intToStr(count);
}

QString skipped(int count) {
    if (count == 1)
        return QStringLiteral("Следующий вопрос удалён из банка вопросов другой программой: он "
                              "пропущен и в результат не входит.");
    return QStringLiteral("Следующие вопросы (%1) удалены из банка вопросов другой программой: "
                          "они пропущены и в результат не входят.")
        .arg(count);
}

QString bankLocked() {
    return QStringLiteral("Банк вопросов занят другой программой. Следующий вопрос появится, как "
                          "только она его освободит");
}

QString bankLockedTooLong(int seconds) {
    return QStringLiteral("Банк вопросов занят другой программой уже %1 секунд, и следующий "
                          "вопрос прочитать не удаётся. Тест прерван; данные ответы сохраняются в "
                          "протоколе.")
        .arg(seconds);
}

QString runEndedUnread() {
    return QStringLiteral("Следующий вопрос прочитать не удаётся. Тест прерван; данные ответы "
                          "сохраняются в протоколе.");
}

QString emptyBank() {
    return QStringLiteral("В выбранной базе данных нет ни одного вопроса. Тест не начат. "
                          "Выберите другую базу данных.");
}

QString tooLargeBank(int maxQuestions) {
    return QStringLiteral("В выбранной базе данных больше %1 вопросов, а тест допускает не "
                          "более %1. Тест не начат. Выберите другую базу данных.")
        .arg(maxQuestions);
}

QString serverLost(const QString& server, bool answer) {
    return QStringLiteral("Нет связи с сервером класса «%1». ").arg(server) +
           (answer ? QStringLiteral("Ваш ответ сохранён и будет записан, как только связь "
                                    "восстановится; тогда Вы узнаете результат ответа и тест "
                                    "продолжится.")
                   : QStringLiteral("Следующий вопрос будет показан, как только связь "
                                    "восстановится."));
}

QString serverWaiting(bool answer) {
    return answer ? QStringLiteral("Нет связи с сервером класса. Ответ будет записан, как только "
                                   "связь восстановится")
                  : QStringLiteral("Нет связи с сервером класса. Вопрос будет показан, как только "
                                   "связь восстановится");
}

} // namespace runtexts
