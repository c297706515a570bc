#pragma once

// Protocol texts made with the program's own protocol writer, for the class-results tests.
#include "protocol_text.h"
#include "run_texts.h"

#include <QList>
#include <QStringEncoder>
#include <QStringList>

namespace sample {

struct Answer {
    int question; // 1-based index into the bank below
    int chosen;   // 0: time-out
    int used;     // seconds used of 35
};

// A bank of five questions; question n has the right option rightOf[n].
inline constexpr int rightOf[6] = {0, 2, 3, 1, 4, 1};

inline protocol::ShownQuestion shown(const Answer& a) {
    protocol::ShownQuestion q;
    q.record = a.question;
    q.question = QStringLiteral("Вопрос %1?").arg(a.question);
    for (int k = 0; k < 4; ++k)
        q.options[k] = QStringLiteral("Ответ %1.%2").arg(a.question).arg(k + 1);
    q.answerNumber = a.chosen;
    q.rightAnswer = QString::number(rightOf[a.question]);
    q.allowedText = QStringLiteral("35");
    q.shownText = QString::number(35 - a.used);
    return q;
}

// The text of a run; a finished run gets the result line its answers give.
inline QString protocolText(const QString& name, const QList<Answer>& answers, bool finished) {
    QStringList lines = protocol::header(
        protocol::headerLine(name, QStringLiteral("7-12-2026"), QStringLiteral("9-05-03")),
        QStringLiteral("9-05-03"));
    int right = 0;
    for (const Answer& a : answers) {
        lines << protocol::questionBlock(shown(a));
        if (a.chosen == 0)
            lines << protocol::timeOutLines();
        right += a.chosen == rightOf[a.question] ? 1 : 0;
    }
    const QString first = finished
                              ? runtexts::result(right, answers.size() - right, int(answers.size()))
                              : protocol::unfinishedText();
    lines << protocol::footer(first, QStringLiteral("9-12-33"));
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

inline QByteArray cp1251(const QString& text) {
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

} // namespace sample
