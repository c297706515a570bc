// libFuzzer target for the protocol reader of the class-results tool: it reads whatever files
// lie in a folder. Whatever it accepts must read back the same once written out again.
#include "protocol_reader.h"
#include "textfile.h"

#include <cstdint>
#include <cstdlib>

namespace {
QString write(const results::Protocol& p) {
    const QString sep = QStringLiteral("\\\\") + QString(63, QLatin1Char('-'));
    QStringList lines{p.name + QStringLiteral("  ") + p.date + QStringLiteral("  ") + p.headerTime,
                      QString(), QStringLiteral("Тест начат в ") + p.startTime, QString()};
    for (const results::QuestionBlock& b : p.blocks) {
        lines << sep << QStringLiteral("Вопрос № %1").arg(b.record)
              << QStringLiteral("Содержание вопроса:") << b.question.toString();
        for (int k = 0; k < 4; ++k)
            lines << QStringLiteral("%1. ").arg(k + 1) + b.options[k].toString();
        lines << QStringLiteral("Ваш ответ № %1").arg(b.answer)
              << QStringLiteral("Правильный ответ:") + b.rightText.toString()
              // The seconds as 0: a fraction need not print back to the same double.
              << QStringLiteral("Вы отвечали на вопрос: 0 сек. из ") + b.allowedText.toString()
              << QString();
        if (b.timeOutLines)
            lines << QStringLiteral("Вы не успели ответить на вопрос!") << QString();
    }
    const QString result =
        QStringLiteral("Проверка Вашего уровня знаний завершена. Ваш результат: правильных "
                       "ответов %1. Неправильных ответов %2. Всего вопросов %3")
            .arg(p.resultRight)
            .arg(p.resultWrong)
            .arg(p.resultTotal);
    lines << (p.finished ? result : QStringLiteral("Тест до конца не пройден.")) << sep
          << QStringLiteral("Тест окончен в ") + p.endTime;
    // Every line end CR LF, inside multi-line texts too: a text line may end in a CR of its own.
    lines << QString(); // the last line's end
    return lines.join(QLatin1Char('\n')).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

bool same(const results::QuestionBlock& a, const results::QuestionBlock& b) {
    for (int k = 0; k < 4; ++k)
        if (a.options[k] != b.options[k])
            return false;
    return a.record == b.record && a.question == b.question && a.answer == b.answer &&
           a.rightText == b.rightText && a.rightNumber == b.rightNumber &&
           a.allowedText == b.allowedText && a.timeOutLines == b.timeOutLines;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const results::ReadResult r = results::readProtocol(textfile::fromCp1251(bytes));
    if (r.ok != r.error.isEmpty())
        std::abort();
    if (!r.ok)
        return 0;
    const results::Protocol& p = r.protocol;
    for (const results::QuestionBlock& b : p.blocks)
        if (b.answer < 0 || b.answer > 4 || b.rightNumber < 0 || b.rightNumber > 4)
            std::abort();
    const results::ReadResult again = results::readProtocol(write(p));
    if (!again.ok || again.protocol.blocks.size() != p.blocks.size() ||
        again.protocol.name != p.name || again.protocol.finished != p.finished ||
        again.protocol.endTime != p.endTime || again.protocol.mismatch != p.mismatch)
        std::abort();
    for (qsizetype i = 0; i < p.blocks.size(); ++i)
        if (!same(p.blocks[i], again.protocol.blocks[i]))
            std::abort();
    return 0;
}
