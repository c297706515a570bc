#include "gift.h"

#include "htmltext.h"
#include "reasons.h"
#include "sourcetext.h"

namespace exchange::gift {
namespace {

using namespace Qt::Literals::StringLiterals;

bool isSpecial(QChar c) {
    return c == u':' || c == u'#' || c == u'=' || c == u'{' || c == u'}' || c == u'~' || c == u'\\';
}

// Where `c` occurs first from `from` on, not escaped; -1 if nowhere.
qsizetype find(const QString& s, QChar c, qsizetype from = 0) {
    for (qsizetype i = from; i < s.size(); ++i) {
        if (s[i] == u'\\') {
            ++i;
            continue;
        }
        if (s[i] == c)
            return i;
    }
    return -1;
}

QString unescape(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            const QChar next = s[i + 1];
            if (next == u'n') {
                out += u'\n';
                ++i;
                continue;
            }
            if (isSpecial(next)) {
                out += next;
                ++i;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

struct Answer {
    bool right = false;
    double weight = 0;
    bool weighted = false;
    QString text;
};

struct Block {
    QString text;
    int line = 0;
};

// The answers between the braces; an empty list with `why` set when they are none we take.
QVector<Answer> answers(const QString& inside, QString* why) {
    const QString t = inside.trimmed();
    const QString upper = t.section(u'#', 0, 0).trimmed().toUpper();
    if (t.isEmpty()) {
        *why = reasons::unsupportedType(u"essay"_s);
        return {};
    }
    if (t.startsWith(u'#')) {
        *why = reasons::unsupportedType(u"numerical"_s);
        return {};
    }
    if (upper == u"T" || upper == u"F" || upper == u"TRUE" || upper == u"FALSE") {
        *why = reasons::unsupportedType(u"truefalse"_s);
        return {};
    }
    QVector<Answer> list;
    bool feedback = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == u'\\') {
            if (!list.isEmpty() && !feedback)
                list.last().text += t.mid(i, 2);
            ++i;
            continue;
        }
        if (c == u'=' || c == u'~') {
            Answer a;
            a.right = c == u'=';
            feedback = false;
            if (i + 1 < t.size() && t[i + 1] == u'%') {
                const qsizetype end = t.indexOf(u'%', i + 2);
                bool ok = false;
                if (end > 0)
                    a.weight = t.mid(i + 2, end - i - 2).toDouble(&ok);
                if (!ok) {
                    *why = u"вес ответа в %…% не читается"_s;
                    return {};
                }
                a.weighted = true;
                i = end;
            }
            list << a;
            continue;
        }
        if (c == u'#') {
            feedback = true;
            continue;
        }
        if (list.isEmpty()) {
            if (!c.isSpace()) {
                *why = u"ответы в {…} должны начинаться с «=» или «~»"_s;
                return {};
            }
            continue;
        }
        if (!feedback)
            list.last().text += c;
    }
    for (const Answer& a : list)
        if (a.text.contains(u"->")) {
            *why = reasons::unsupportedType(u"matching"_s);
            return {};
        }
    if (std::all_of(list.begin(), list.end(), [](const Answer& a) { return a.right; })) {
        *why = reasons::unsupportedType(u"shortanswer"_s);
        return {};
    }
    return list;
}

void question(const Block& b, Result& result) {
    QString text = b.text.trimmed();
    QString title;
    if (text.startsWith(u"::")) {
        qsizetype end = find(text, u':', 2);
        while (end >= 0 && (end + 1 >= text.size() || text[end + 1] != u':'))
            end = find(text, u':', end + 1);
        if (end < 0) {
            result.refuse(b.line, u"название «::…» не закрыто"_s);
            return;
        }
        title = unescape(text.mid(2, end - 2));
        text = text.mid(end + 2).trimmed();
    }
    QString format = u"moodle"_s;
    if (text.startsWith(u'[')) {
        const qsizetype end = text.indexOf(u']');
        const QString given = end > 0 ? text.mid(1, end - 1).toLower() : QString();
        if (given == u"html" || given == u"markdown" || given == u"plain" || given == u"moodle") {
            format = given;
            text = text.mid(end + 1);
        }
    }
    const qsizetype open = find(text, u'{');
    if (open < 0) {
        result.refuse(b.line, reasons::unsupportedType(u"description"_s) +
                                  u" (нет вариантов ответа в {…})"_s);
        return;
    }
    const qsizetype close = find(text, u'}', open + 1);
    if (close < 0) {
        result.refuse(b.line, u"скобка «{» не закрыта"_s);
        return;
    }
    QString why;
    const QVector<Answer> list = answers(text.mid(open + 1, close - open - 1), &why);
    if (list.isEmpty()) {
        result.refuse(b.line, why.isEmpty() ? u"нет вариантов ответа"_s : why);
        return;
    }
    // As Moodle reads GIFT: without "=" the question asks for every answer of positive weight.
    QVector<double> grades;
    bool single = false;
    for (const Answer& a : list) {
        grades << (a.weighted ? a.weight : (a.right ? 100 : 0));
        single = single || (a.right && !a.weighted);
    }
    single =
        single || std::count_if(grades.begin(), grades.end(), [](double g) { return g > 0; }) < 2;
    Question q;
    q.line = b.line;
    int right = 0;
    const QString refusal = reasons::choiceRefusal(grades, single, &right);
    if (!refusal.isEmpty()) {
        result.refuse(b.line, refusal);
        return;
    }
    q.prOtvet = right;
    const auto plain = [&format](const QString& s, HtmlExtras* extras) {
        const QString u = unescape(s.trimmed());
        return format == u"html" ? htmlToText(u, false, extras) : u;
    };
    HtmlExtras extras;
    QStringList notes;
    for (int k = 0; k < 4; ++k) {
        HtmlExtras option;
        q.otvet[k] = plain(list[k].text, &option);
        if (!option.pictures.isEmpty() && q.otvet[k].isEmpty()) {
            result.refuse(b.line, reasons::optionWithoutText(k + 1));
            return;
        }
        if (!option.pictures.isEmpty())
            notes << reasons::optionPictureDropped(k + 1);
        extras.links += option.links;
        extras.media += option.media;
    }
    const QString before = plain(text.left(open), &extras);
    const QString after = plain(text.mid(close + 1), &extras);
    q.vopros = after.isEmpty() ? before : before + u" _____ "_s + after;
    for (const QString& picture : extras.pictures) // GIFT embeds no files
        notes << reasons::pictureDropped(picture);
    notes << reasons::dropped(extras);
    q.name = nameFrom(title, result);
    result.take(q);
    for (const QString& note : notes)
        result.note(b.line, note);
}

} // namespace

void read(const QByteArray& source, Result& result) {
    const QStringList lines = sourceLines(source, result);
    Block block;
    const auto flush = [&] {
        if (!block.text.trimmed().isEmpty())
            question(block, result);
        block = Block();
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (trimmed.startsWith(u"//"))
            continue;
        if (trimmed.isEmpty()) {
            flush();
            continue;
        }
        if (block.line == 0 && trimmed.startsWith(u"$CATEGORY:"))
            continue;
        if (block.line == 0)
            block.line = i + 1;
        else
            block.text += u'\n';
        block.text += lines[i];
    }
    flush();
}

} // namespace exchange::gift
