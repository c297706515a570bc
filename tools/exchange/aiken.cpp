#include "aiken.h"

#include "reasons.h"
#include "sourcetext.h"

namespace exchange::aiken {
namespace {

using namespace Qt::Literals::StringLiterals;

const QString latin = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s;
const QString cyrillic = u"АБВГДЕЖЗИКЛМНОПРСТУФХЦЧШЭЮЯ"_s;

// The label of an option line ("B) text", "B)text", "Б. text"): its letter, or a null
// character. After "." a blank must follow, as "A.B. Smith wrote …" is text: `glued` is set
// for a line that is an option but for that blank.
QChar label(const QString& line, QString* rest, bool* glued) {
    const QString t = line.trimmed();
    if (t.size() < 2 || (t[1] != u')' && t[1] != u'.'))
        return QChar();
    if (!latin.contains(t[0]) && !cyrillic.contains(t[0]))
        return QChar();
    if (t[1] == u'.' && t.size() > 2 && !t[2].isSpace()) {
        *glued = true;
        return QChar();
    }
    *rest = t.mid(2).trimmed();
    return t[0];
}

// "ANSWER: B" / "ОТВЕТ: Б": the letter given, or a null character when the line is none.
bool answerLine(const QString& line, QString* letter) {
    const QString t = line.trimmed();
    for (const QString& key : {u"ANSWER:"_s, u"ОТВЕТ:"_s})
        if (t.startsWith(key, Qt::CaseInsensitive)) {
            *letter = t.mid(key.size()).trimmed();
            return true;
        }
    return false;
}

// Position 1..4 of a letter in the alphabet the labels use ("A" is the same in both).
int position(QChar letter, bool cyrillicLabels) {
    const qsizetype at = (cyrillicLabels ? cyrillic : latin).indexOf(letter);
    if (at < 0 && letter == (cyrillicLabels ? u'A' : u'А'))
        return 1;
    return at < 0 ? 0 : int(at) + 1;
}

struct Pending {
    int line = 0;
    QStringList text;
    QStringList options;
    QVector<QChar> labels;
    QString refusal;
    QString glued; // the first line that is an option but for the blank after its label
    void refuse(const QString& why) {
        if (refusal.isEmpty())
            refusal = why;
    }
};

void finish(Pending& p, const QString& letter, int line, Result& result) {
    if (p.options.size() != 4 && !p.glued.isEmpty())
        p.refuse(
            reasons::optionCount(p.options.size()) +
            u": строка «%1» не вариант, после «%2» нужен пробел"_s.arg(p.glued, p.glued.left(2)));
    else if (p.options.size() != 4)
        p.refuse(reasons::optionCount(p.options.size()));
    bool cyr = false, lat = false;
    for (QChar c : p.labels) {
        cyr = cyr || (cyrillic.contains(c) && c != u'А');
        lat = lat || (latin.contains(c) && c != u'A');
    }
    if (cyr && lat)
        p.refuse(u"варианты помечены буквами разных алфавитов"_s);
    for (int k = 0; k < p.labels.size(); ++k)
        if (position(p.labels[k], cyr) != k + 1) {
            p.refuse(u"варианты должны идти по порядку: %1"_s.arg(cyr ? u"А, Б, В, Г"_s
                                                                      : u"A, B, C, D"_s));
            break;
        }
    const int right = letter.size() == 1 ? position(letter[0], cyr) : 0;
    if (right < 1 || right > 4)
        p.refuse(u"ответ «%1» не называет один из вариантов %2"_s.arg(letter,
                                                                      cyr ? u"А–Г"_s : u"A–D"_s));
    if (!p.refusal.isEmpty()) {
        result.refuse(p.line ? p.line : line, p.refusal);
        return;
    }
    Question q;
    q.line = p.line;
    while (!p.text.isEmpty() && p.text.last().trimmed().isEmpty())
        p.text.removeLast();
    q.vopros = p.text.join(u'\n');
    for (int k = 0; k < 4; ++k)
        q.otvet[k] = p.options[k];
    q.prOtvet = right;
    q.name = nameFrom(QString(), result);
    result.take(q);
}

} // namespace

void read(const QByteArray& source, Result& result) {
    const QStringList lines = sourceLines(source, result);
    Pending p;
    for (int i = 0; i < lines.size(); ++i) {
        const int line = i + 1;
        const QString& s = lines[i];
        QString rest;
        if (answerLine(s, &rest)) {
            if (p.line == 0)
                result.refuse(line, u"строка ответа без вопроса"_s);
            else
                finish(p, rest, line, result);
            p = Pending();
            continue;
        }
        if (s.trimmed().isEmpty()) {
            if (!p.options.isEmpty()) { // a question without its answer line
                result.refuse(p.line, u"нет строки «ANSWER:» после вариантов"_s);
                p = Pending();
            } else if (p.line != 0) {
                p.text << QString();
            }
            continue;
        }
        if (p.line == 0)
            p.line = line;
        bool glued = false;
        const QChar letter = p.text.isEmpty() ? QChar() : label(s, &rest, &glued);
        if (glued && p.glued.isEmpty())
            p.glued = s.trimmed();
        if (!letter.isNull()) {
            p.labels << letter;
            p.options << rest;
        } else if (!p.options.isEmpty()) {
            p.options.last() += u'\n' + s.trimmed(); // an option on more than one line
        } else {
            p.text << s.trimmed();
        }
    }
    if (p.line != 0)
        result.refuse(p.line, u"нет строки «ANSWER:» после вариантов"_s);
}

} // namespace exchange::aiken
