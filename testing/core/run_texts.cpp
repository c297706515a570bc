#include "run_texts.h"

#include "classapi.h"
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

QString wrongVerdictHidden() {
    return QStringLiteral("Неверный ответ.");
}

QString hiddenRightAnswer() {
    return QString::fromUtf8(classapi::hiddenRightAnswer.data(),
                             qsizetype(classapi::hiddenRightAnswer.size()));
}

QString withGrade(const QString& resultText, int grade) {
    return resultText + QStringLiteral("\nОценка: ") + numbers::intToStr(grade);
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

QString serverBusy(bool start, bool answer, const QString& server) {
    if (start)
        return QStringLiteral("Соединение с сервером класса «%1»…").arg(server);
    return answer ? QStringLiteral("Ответ отправлен на сервер класса, ожидается его запись")
                  : QStringLiteral("Вопрос загружается с сервера класса");
}

QString serverWaiting(bool answer, const QString& reason, bool journaled) {
    const QString head = QStringLiteral("Нет связи с сервером класса (%1). ").arg(reason);
    if (!answer)
        return head + QStringLiteral("Вопрос будет показан, как только появится связь");
    return head + (journaled ? QStringLiteral("Ответ записан на этом компьютере и будет "
                                              "отправлен, как только появится связь")
                             : QStringLiteral("Ответ будет отправлен, как только появится связь"));
}

QString serverStartWaiting(const QString& reason) {
    return QStringLiteral("Нет связи с сервером класса (%1). Тест начнётся, как только появится "
                          "связь")
        .arg(reason);
}

QString serverAway(const QString& server, bool answer, const QString& journalProblem) {
    const QString head = QStringLiteral("Нет связи с сервером класса «%1». ").arg(server);
    const QString tail = QStringLiteral(" Закончить тест, не дожидаясь связи: «Файл» → «Закрыть "
                                        "БД».");
    if (!answer)
        return head +
               QStringLiteral("Следующий вопрос будет показан, как только появится связь с "
                              "сервером.") +
               tail;
    const QString kept =
        journalProblem.isEmpty()
            ? QStringLiteral("Ваш ответ записан на этом компьютере и будет отправлен, как только "
                             "появится связь с сервером")
            : QStringLiteral("Ваш ответ не удалось записать на этом компьютере (%1); он будет "
                             "отправлен, пока программа открыта")
                  .arg(journalProblem);
    return head + kept + QStringLiteral("; тогда Вы узнаете результат ответа и тест продолжится.") +
           tail;
}

QString serverStartAway(const QString& server, const QString& reason) {
    return QStringLiteral("Нет связи с сервером класса «%1» (%2). Тест начнётся, как только "
                          "появится связь с сервером. Отказаться: «Файл» → «Закрыть БД».")
        .arg(server, reason);
}

QString serverConfirmCaption() {
    return QStringLiteral("Тестирование на сервере класса");
}

QString serverConfirm(const QString& trainee, const QString& bank, int answered) {
    QString text =
        QStringLiteral("По этому коду тест проходит: %1.\nБанк вопросов: «%2».").arg(trainee, bank);
    if (answered > 0)
        text += QStringLiteral("\nТест продолжится с первого вопроса без ответа (ответов уже: %1).")
                    .arg(answered);
    return text + QStringLiteral("\n\nЕсли это не Вы, нажмите «Отмена».");
}

QString runEndedByServer() {
    return QStringLiteral("Тест прерван; данные ответы сохраняются в протоколе.");
}

} // namespace runtexts
