#include "bankcheck.h"

#include "bitmap.h"
#include "error.h"
#include "numbers.h"

#include <QCryptographicHash>

namespace exchange {

using namespace Qt::Literals::StringLiterals;

int answerNumber(const QString& prOtvet) {
    double value = 0;
    if (!numbers::tryStrToFloat(prOtvet, &value))
        return 0;
    for (int k = 1; k <= 4; ++k)
        if (value == k)
            return k;
    return 0;
}

namespace {

QString blankName(QChar c) {
    if (c == u'\n' || c == u'\r')
        return u"перевод строки"_s;
    if (c == u'\t')
        return u"табуляция"_s;
    if (c == QChar(0xa0))
        return u"неразрывный пробел"_s;
    return u"пробел"_s;
}

// Blanks at the ends of a text, which a test shows as an odd gap or a line too many (texts
// taken from a web editor often end so); empty when there are none, or nothing else.
QString blankEnds(const QString& text) {
    if (text.trimmed().isEmpty())
        return QString();
    QStringList where;
    if (text.front().isSpace())
        where << u"в начале %1"_s.arg(blankName(text.front()));
    if (text.back().isSpace())
        where << u"в конце %1"_s.arg(blankName(text.back()));
    return where.join(u", "_s);
}

} // namespace

QStringList BankChecker::check(const Question& r) {
    QStringList problems;
    const QString right = r.prOtvet.toString();
    double value = 0;
    if (!numbers::tryStrToFloat(right, &value))
        problems << u"PrOtvet «%1» не читается как число: тест остановится с ошибкой"_s.arg(right);
    else if (answerNumber(right) == 0)
        problems << u"PrOtvet «%1» — не 1, 2, 3 или 4: верного ответа не будет"_s.arg(right);
    try {
        bitmap::checkGraph(r.graph);
    } catch (const Error& e) {
        problems << u"рисунок программа не покажет: %1"_s.arg(e.message());
    }
    if (r.vopros.trimmed().isEmpty() && r.graph.isEmpty())
        problems << u"пустой вопрос"_s;
    if (const QString blanks = blankEnds(r.vopros); !blanks.isEmpty())
        problems << u"в тексте вопроса %1"_s.arg(blanks);
    for (int k = 0; k < 4; ++k) {
        if (r.otvet[k].trimmed().isEmpty()) {
            problems << u"пустой вариант ответа №%1"_s.arg(k + 1);
            continue;
        }
        if (const QString blanks = blankEnds(r.otvet[k]); !blanks.isEmpty())
            problems << u"в варианте ответа №%1 %2"_s.arg(k + 1).arg(blanks);
        for (int j = 0; j < k; ++j)
            if (r.otvet[j].trimmed() == r.otvet[k].trimmed())
                problems << u"варианты ответа №%1 и №%2 совпадают"_s.arg(j + 1).arg(k + 1);
    }
    if (r.vopros.trimmed().isEmpty() && r.graph.isEmpty())
        return problems;
    QCryptographicHash digest(QCryptographicHash::Sha1);
    digest.addData(r.vopros.trimmed().toUtf8());
    digest.addData(QByteArrayView("\0", 1));
    digest.addData(r.graph);
    const QByteArray key = digest.result();
    const auto seen = m_seen.constFind(key);
    if (seen != m_seen.constEnd())
        problems << u"тот же вопрос, что в записи %1"_s.arg(*seen);
    else
        m_seen.insert(key, r.line);
    return problems;
}

} // namespace exchange
