#include "protocol_sample.h"

#include <QFile>
#include <QStringEncoder>
#include <QStringList>

namespace {
QByteArray cp1251(const QString& text) {
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

// Two backslashes and 63 hyphen-minus characters.
QByteArray separator() {
    return QByteArray("\\\\") + QByteArray(63, '-');
}

QStringList questionBlock(int number, int answer, int right, int used, bool timedOut) {
    QStringList block{QStringLiteral("Вопрос № %1").arg(number),
                      QStringLiteral("Содержание вопроса:"),
                      // A question of two lines, with a tab and a non-breaking space.
                      QStringLiteral("Сколько будет\tдва\u00A0плюс два?"),
                      QStringLiteral("Ответ дайте числом, ёЁ «кавычки» — тире"),
                      QStringLiteral("1. 3"), QStringLiteral("2. 4"),
                      QStringLiteral("3. "), // an empty option
                      QStringLiteral("4. пять"), QStringLiteral("Ваш ответ № %1").arg(answer),
                      QStringLiteral("Правильный ответ:%1").arg(right),
                      QStringLiteral("Вы отвечали на вопрос: %1 сек. из 35").arg(used), QString()};
    if (timedOut)
        block << QStringLiteral("Вы не успели ответить на вопрос!") << QString();
    return block;
}
} // namespace

QByteArray protocolBytes(int questions) {
    QByteArray bytes;
    auto line = [&](const QByteArray& encoded) { bytes += encoded + "\r\n"; };
    line(cp1251(QStringLiteral("Иванов Иван Иванович  7-12-2026  9-05-03")));
    line({});
    line(cp1251(QStringLiteral("Тест начат в 9-05-03")));
    line({});
    int right = 0;
    for (int q = 1; q <= questions; ++q) {
        const bool timedOut = q % 2 == 0;
        right += timedOut ? 0 : 1;
        line(separator());
        const QStringList block =
            questionBlock(q, timedOut ? 0 : 2, 2, timedOut ? 34 : 5, timedOut);
        for (const QString& text : block)
            line(cp1251(text));
    }
    line(cp1251(QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш результат: "
                               "правильных ответов %1. Неправильных ответов %2. Всего вопросов %3")
                    .arg(right)
                    .arg(questions - right)
                    .arg(questions)));
    line(separator());
    line(cp1251(QStringLiteral("Тест окончен в 9-06-10")));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.isNull())
        bytes = QByteArray(""); // an empty file is not a missing one
    return bytes;
}
