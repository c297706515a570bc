#include "htmltext.h"

#include <QHash>

namespace exchange {
namespace {

bool isHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isBlock(const QString& tag) {
    static const QStringList blocks{
        "p",      "div",    "li",         "ul",      "ol",     "tr",      "table",   "h1",
        "h2",     "h3",     "h4",         "h5",      "h6",     "pre",     "hr",      "blockquote",
        "dl",     "dt",     "dd",         "tbody",   "thead",  "section", "article", "header",
        "footer", "figure", "figcaption", "address", "center", "caption"};
    return blocks.contains(tag);
}

char32_t namedEntity(QStringView name) {
    static const QHash<QString, char32_t> entities{
        {"amp", '&'},      {"lt", '<'},       {"gt", '>'},        {"quot", '"'},
        {"apos", '\''},    {"nbsp", 0xa0},    {"laquo", 0xab},    {"raquo", 0xbb},
        {"mdash", 0x2014}, {"ndash", 0x2013}, {"hellip", 0x2026}, {"times", 0xd7},
        {"divide", 0xf7},  {"deg", 0xb0},     {"plusmn", 0xb1},   {"minus", 0x2212},
        {"le", 0x2264},    {"ge", 0x2265},    {"ne", 0x2260},     {"asymp", 0x2248},
        {"middot", 0xb7},  {"bull", 0x2022},  {"copy", 0xa9},     {"reg", 0xae},
        {"sect", 0xa7},    {"para", 0xb6},    {"lsquo", 0x2018},  {"rsquo", 0x2019},
        {"ldquo", 0x201c}, {"rdquo", 0x201d}, {"bdquo", 0x201e},  {"prime", 0x2032},
        {"sup2", 0xb2},    {"sup3", 0xb3},    {"frac12", 0xbd},   {"frac14", 0xbc},
        {"alpha", 0x3b1},  {"beta", 0x3b2},   {"gamma", 0x3b3},   {"delta", 0x3b4},
        {"pi", 0x3c0},     {"sigma", 0x3c3},  {"omega", 0x3c9},   {"mu", 0x3bc},
        {"lambda", 0x3bb}, {"infin", 0x221e}, {"radic", 0x221a},  {"sum", 0x2211},
        {"rarr", 0x2192},  {"larr", 0x2190},  {"harr", 0x2194},   {"uarr", 0x2191},
        {"darr", 0x2193},  {"euro", 0x20ac},  {"shy", 0xad},      {"thinsp", 0x2009}};
    return entities.value(name.toString(), 0);
}

class Converter {
public:
    Converter(QStringView html, bool newlinesBreak) : m_in(html), m_newlines(newlinesBreak) {}

    QString run() {
        m_out.reserve(m_in.size()); // markup only ever shortens the text
        while (m_at < m_in.size()) {
            const QChar c = m_in[m_at];
            if (c == u'<' && tag())
                continue;
            if (c == u'&' && entity())
                continue;
            if (c == u'\n' && m_newlines) {
                ++m_at;
                hardBreak();
            } else if (isHtmlSpace(c)) {
                ++m_at;
                m_space = true;
            } else {
                put(plainRun());
            }
        }
        return m_out;
    }

private:
    void flush() {
        const bool open = !m_out.isEmpty() && !m_out.endsWith(u'\n');
        if (m_block && open)
            m_out += u'\n';
        else if (m_space && open)
            m_out += u' ';
        m_block = m_space = false;
    }
    template <typename Text> void put(const Text& s) {
        flush();
        m_out += s;
    }
    void hardBreak() {
        m_space = false;
        flush();
        m_out += u'\n';
    }
    void softBreak() {
        m_block = true;
        m_space = false;
    }

    // The character here and those after it up to markup or whitespace: they go out as they
    // stand, in one piece rather than one by one.
    QStringView plainRun() {
        const qsizetype start = m_at++;
        while (m_at < m_in.size() && m_in[m_at] != u'<' && m_in[m_at] != u'&' &&
               !isHtmlSpace(m_in[m_at]))
            ++m_at;
        return m_in.sliced(start, m_at - start);
    }

    // "<" starting a tag, a comment or a declaration: consumes it and returns true.
    bool tag() {
        const qsizetype start = m_at + 1;
        if (start >= m_in.size())
            return false;
        if (m_in.mid(start).startsWith(u"!--")) {
            const qsizetype end = m_in.indexOf(u"-->", start + 3);
            m_at = end < 0 ? m_in.size() : end + 3;
            return true;
        }
        const bool closing = m_in[start] == u'/';
        qsizetype i = start + (closing ? 1 : 0);
        if (i >= m_in.size() ||
            !(m_in[i].isLetter() || (!closing && (m_in[i] == u'!' || m_in[i] == u'?'))))
            return false;
        const qsizetype nameStart = i;
        while (i < m_in.size() && (m_in[i].isLetterOrNumber() || m_in[i] == u':'))
            ++i;
        const QString name = m_in.mid(nameStart, i - nameStart).toString().toLower();
        QChar quote;
        for (; i < m_in.size(); ++i) {
            const QChar c = m_in[i];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                break;
            }
        }
        if (i >= m_in.size())
            return false; // no end: the "<" is text
        m_at = i + 1;
        if (name == u"br")
            hardBreak();
        else if (isBlock(name))
            softBreak();
        else if (name == u"td" || name == u"th")
            m_space = true;
        else if (!closing && (name == u"script" || name == u"style"))
            skipTo(QStringLiteral("</") + name);
        return true;
    }

    void skipTo(const QString& end) {
        const qsizetype at = m_in.indexOf(end, m_at, Qt::CaseInsensitive);
        m_at = at < 0 ? m_in.size() : at;
    }

    // "&" starting a character reference: consumes it and returns true.
    bool entity() {
        const qsizetype semi = m_in.indexOf(u';', m_at + 1);
        if (semi < 0 || semi - m_at > 12)
            return false;
        const QStringView body = m_in.mid(m_at + 1, semi - m_at - 1);
        char32_t c = 0;
        if (body.startsWith(u'#')) {
            bool ok = false;
            const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
            const uint value = body.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (!ok)
                return false;
            c = value == 0 || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)
                    ? 0xfffd
                    : char32_t(value);
        } else {
            c = namedEntity(body);
            if (!c)
                return false;
        }
        m_at = semi + 1;
        put(QString::fromUcs4(&c, 1));
        return true;
    }

    QStringView m_in;
    bool m_newlines;
    qsizetype m_at = 0;
    QString m_out;
    bool m_space = false; // whitespace seen that shows as one space, unless a line ends
    bool m_block = false; // a block ended or began: a line break unless the text ends
};

} // namespace

bool xmlCanCarry(char32_t c) {
    return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) ||
           (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
}

QString xmlSafe(const QString& text, int* replaced) {
    QList<uint> chars = text.toUcs4();
    bool changed = false;
    for (uint& c : chars)
        if (!xmlCanCarry(c)) {
            c = 0xfffd;
            changed = true;
            if (replaced)
                ++*replaced;
        }
    return changed ? QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()),
                                       chars.size())
                   : text;
}

QString htmlToText(QStringView html, bool newlinesBreak) {
    return Converter(html, newlinesBreak).run();
}

QString textToHtml(const QString& text, int* replaced) {
    QString out = QStringLiteral("<p>");
    const QList<uint> chars = text.toUcs4();
    for (qsizetype i = 0; i < chars.size(); ++i) {
        char32_t c = chars[i];
        const bool lineStart = i == 0 || chars[i - 1] == '\n';
        const bool lineEnd = i + 1 == chars.size() || chars[i + 1] == '\n';
        if (!xmlCanCarry(c)) {
            c = 0xfffd;
            if (replaced)
                ++*replaced;
        }
        switch (c) {
        case '\n':
            out += QStringLiteral("<br>");
            break;
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case ' ':
            // A space that a browser would drop or merge with another is kept as a reference.
            out += lineStart || lineEnd || chars[i - 1] == ' ' ? QStringLiteral("&#32;")
                                                               : QStringLiteral(" ");
            break;
        case '\t':
        case '\r':
        case '\f':
            out += QStringLiteral("&#%1;").arg(uint(c));
            break;
        default:
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out + QStringLiteral("</p>");
}

} // namespace exchange
