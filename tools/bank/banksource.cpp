#include "banksource.h"

#include "bitmap.h"
#include "error.h"
#include "textfile.h"

#include <QDir>
#include <QImage>
#include <QStringDecoder>

namespace banksource {
namespace {

constexpr int maxPatternPixels = 1024; // a side of a drawn picture, after scaling

QRgb colourOf(QChar c, bool* ok) {
    static const QHash<QChar, QRgb> colours{
        {u'.', qRgb(255, 255, 255)}, {u'#', qRgb(0, 0, 0)},       {u'r', qRgb(220, 30, 30)},
        {u'g', qRgb(30, 160, 60)},   {u'b', qRgb(30, 60, 200)},   {u'y', qRgb(250, 210, 40)},
        {u'o', qRgb(240, 140, 30)},  {u's', qRgb(120, 190, 250)}, {u'k', qRgb(130, 80, 40)},
        {u'w', qRgb(200, 200, 200)}};
    *ok = colours.contains(c);
    return colours.value(c);
}

[[noreturn]] void fail(int line, const QString& what) {
    throw Error(QStringLiteral("строка %1: %2").arg(line).arg(what));
}

struct Pending {
    bankfile::Question question;
    int line = 0;      // where the question starts
    QStringList given; // fields already given
    QString* lastText = nullptr;
    QStringList pattern;
    int patternScale = 0;
    int patternLine = 0;
};

QImage drawPattern(const Pending& p) {
    const qsizetype width = p.pattern.first().size();
    if (width * p.patternScale > maxPatternPixels ||
        p.pattern.size() * p.patternScale > maxPatternPixels)
        fail(p.patternLine, QStringLiteral("рисунок больше %1 точек").arg(maxPatternPixels));
    QImage image(int(width) * p.patternScale, int(p.pattern.size()) * p.patternScale,
                 QImage::Format_RGB32);
    for (int row = 0; row < p.pattern.size(); ++row) {
        if (p.pattern[row].size() != width)
            fail(p.patternLine + row + 1, QStringLiteral("строки рисунка разной длины"));
        for (int col = 0; col < width; ++col) {
            bool ok = false;
            const QRgb colour = colourOf(p.pattern[row][col], &ok);
            if (!ok)
                fail(p.patternLine + row + 1,
                     QStringLiteral("в рисунке неизвестный знак «%1»").arg(p.pattern[row][col]));
            for (int y = 0; y < p.patternScale; ++y)
                for (int x = 0; x < p.patternScale; ++x)
                    image.setPixel(col * p.patternScale + x, row * p.patternScale + y, colour);
        }
    }
    return image;
}

void finish(Pending& p, QVector<bankfile::Question>& out) {
    if (p.line == 0)
        return;
    for (const char* field : {"Vopros", "Otvet1", "Otvet2", "Otvet3", "Otvet4", "PrOtvet"})
        if (!p.given.contains(QLatin1String(field)))
            fail(p.line, QStringLiteral("у вопроса нет поля %1").arg(QLatin1String(field)));
    if (p.patternScale > 0) {
        if (p.pattern.isEmpty())
            fail(p.patternLine, QStringLiteral("после «Graph: pattern» нет строк «=»"));
        p.question.graph = encodeBitmap(drawPattern(p));
    }
    out << p.question;
    p = Pending();
}

int number(int line, const QString& value, int low, int high) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < low || n > high)
        fail(line, QStringLiteral("«%1» — не число от %2 до %3").arg(value).arg(low).arg(high));
    return n;
}

void graph(Pending& p, int line, const QString& value, const QString& folder) {
    const QStringList words = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() == 2 && words[0] == QLatin1String("pattern")) {
        p.patternScale = number(line, words[1], 1, 64);
        p.patternLine = line;
        return;
    }
    QByteArray bytes;
    try {
        bytes = textfile::readFile(QDir(folder).filePath(value), 16 * 1024 * 1024);
        decodeGraph(bytes);
    } catch (const Error& e) {
        fail(line, e.message());
    }
    p.question.graph = bytes;
}

void field(Pending& p, int line, const QString& key, const QString& value, const QString& folder) {
    if (p.given.contains(key))
        fail(line, QStringLiteral("поле %1 уже задано у этого вопроса").arg(key));
    p.given << key;
    p.lastText = nullptr;
    bankfile::Question& q = p.question;
    if (key == QLatin1String("Vopros"))
        p.lastText = &q.vopros;
    else if (key.size() == 6 && key.startsWith(QLatin1String("Otvet")) && key[5] >= u'1' &&
             key[5] <= u'4')
        p.lastText = &q.otvet[key[5].unicode() - u'1'];
    else if (key == QLatin1String("PrOtvet"))
        q.prOtvet = number(line, value, 1, 4);
    else if (key == QLatin1String("Graph"))
        graph(p, line, value, folder);
    else
        fail(line, QStringLiteral("неизвестное поле «%1»").arg(key));
    if (p.lastText)
        *p.lastText = value;
}

} // namespace

QString patternColours() {
    return QStringLiteral(". белый, # чёрный, r красный, g зелёный, b синий, y жёлтый, "
                          "o оранжевый, s голубой, k коричневый, w серый");
}

QVector<bankfile::Question> parse(const QByteArray& source, const QString& folder) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(source);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QVector<bankfile::Question> out;
    Pending p;
    for (int i = 0; i < lines.size(); ++i) {
        const int line = i + 1;
        QString s = lines[i];
        if (s.endsWith(QLatin1Char('\r')))
            s.chop(1);
        if (s.contains(QChar::ReplacementCharacter))
            fail(line, QStringLiteral("текст не в кодировке UTF-8"));
        if (s.trimmed().isEmpty() || s.startsWith(QLatin1Char('#')))
            continue;
        if (s.startsWith(QLatin1Char('|'))) {
            if (!p.lastText)
                fail(line, QStringLiteral("строке «|» нечего продолжать"));
            *p.lastText += QLatin1String("\r\n") + s.mid(s.startsWith(QLatin1String("| ")) ? 2 : 1);
            continue;
        }
        if (s.startsWith(QLatin1Char('='))) {
            if (p.patternScale == 0 || p.lastText)
                fail(line, QStringLiteral("строка рисунка «=» не после «Graph: pattern»"));
            p.pattern << s.mid(1).trimmed();
            continue;
        }
        const qsizetype colon = s.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            fail(line, QStringLiteral("ожидалась строка вида «Поле: значение»"));
        const QString key = s.left(colon).trimmed();
        const QString value = s.mid(colon + 1).trimmed();
        if (key == QLatin1String("Name")) {
            finish(p, out);
            p.line = line;
            p.question.name = number(line, value, 0, 1000000000);
            p.given << key;
            continue;
        }
        if (p.line == 0)
            fail(line, QStringLiteral("вопрос должен начинаться со строки «Name:»"));
        field(p, line, key, value, folder);
    }
    finish(p, out);
    if (out.isEmpty())
        throw Error(QStringLiteral("в источнике нет ни одного вопроса"));
    return out;
}

} // namespace banksource
