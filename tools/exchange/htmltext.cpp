#include "htmltext.h"

#include <QByteArray>
#include <QUrl>

#include <algorithm>
#include <iterator>

namespace exchange {
namespace {

bool isHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isLatin(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Looked up by comparison, not hashing: most texts hold a tag or a reference in every line.
bool isBlock(QStringView tag) {
    static constexpr QStringView blocks[]{
        u"p",      u"div",    u"li",         u"ul",         u"ol",      u"tr",
        u"table",  u"h1",     u"h2",         u"h3",         u"h4",      u"h5",
        u"h6",     u"pre",    u"hr",         u"blockquote", u"dl",      u"dt",
        u"dd",     u"tbody",  u"thead",      u"section",    u"article", u"header",
        u"footer", u"figure", u"figcaption", u"address",    u"center",  u"caption"};
    return std::find(std::begin(blocks), std::end(blocks), tag) != std::end(blocks);
}

struct Entity {
    QStringView name;
    char32_t c;
};

char32_t namedEntity(QStringView name) {
    static constexpr Entity entities[]{
        {u"amp", '&'},      {u"lt", '<'},       {u"gt", '>'},        {u"quot", '"'},
        {u"apos", '\''},    {u"nbsp", 0xa0},    {u"laquo", 0xab},    {u"raquo", 0xbb},
        {u"mdash", 0x2014}, {u"ndash", 0x2013}, {u"hellip", 0x2026}, {u"times", 0xd7},
        {u"divide", 0xf7},  {u"deg", 0xb0},     {u"plusmn", 0xb1},   {u"minus", 0x2212},
        {u"le", 0x2264},    {u"ge", 0x2265},    {u"ne", 0x2260},     {u"asymp", 0x2248},
        {u"middot", 0xb7},  {u"bull", 0x2022},  {u"copy", 0xa9},     {u"reg", 0xae},
        {u"sect", 0xa7},    {u"para", 0xb6},    {u"lsquo", 0x2018},  {u"rsquo", 0x2019},
        {u"ldquo", 0x201c}, {u"rdquo", 0x201d}, {u"bdquo", 0x201e},  {u"prime", 0x2032},
        {u"sup2", 0xb2},    {u"sup3", 0xb3},    {u"frac12", 0xbd},   {u"frac14", 0xbc},
        {u"alpha", 0x3b1},  {u"beta", 0x3b2},   {u"gamma", 0x3b3},   {u"delta", 0x3b4},
        {u"pi", 0x3c0},     {u"sigma", 0x3c3},  {u"omega", 0x3c9},   {u"mu", 0x3bc},
        {u"lambda", 0x3bb}, {u"infin", 0x221e}, {u"radic", 0x221a},  {u"sum", 0x2211},
        {u"rarr", 0x2192},  {u"larr", 0x2190},  {u"harr", 0x2194},   {u"uarr", 0x2191},
        {u"darr", 0x2193},  {u"euro", 0x20ac},  {u"shy", 0xad},      {u"thinsp", 0x2009}};
    for (const Entity& e : entities)
        if (e.name == name)
            return e.c;
    return 0;
}

// Where the scan of markup stands, as a browser's tokenizer would: quotes only enclose an
// attribute's value, so a stray one elsewhere does not hide the closing ">".
enum Scan : quint8 { Name, Attributes, AfterEquals, Unquoted, DoubleQuoted, SingleQuoted, Bogus };
constexpr int endOfMarkup = -1;

int step(int state, QChar c) {
    switch (state) {
    case Name:
        return c == u'>' ? endOfMarkup : isHtmlSpace(c) || c == u'/' ? Attributes : Name;
    case Attributes:
        return c == u'>' ? endOfMarkup : c == u'=' ? AfterEquals : Attributes;
    case AfterEquals:
        if (isHtmlSpace(c))
            return AfterEquals;
        return c == u'"'    ? DoubleQuoted
               : c == u'\'' ? SingleQuoted
               : c == u'>'  ? endOfMarkup
                            : Unquoted;
    case Unquoted:
        return c == u'>' ? endOfMarkup : isHtmlSpace(c) ? Attributes : Unquoted;
    case DoubleQuoted:
        return c == u'"' ? Attributes : DoubleQuoted;
    case SingleQuoted:
        return c == u'\'' ? Attributes : SingleQuoted;
    default:
        return c == u'>' ? endOfMarkup : Bogus;
    }
}

// The value of attribute `name` in the markup of a start tag (its text between the tag's name
// and ">"); empty when it is not there.
QString attribute(QStringView tag, QStringView name) {
    qsizetype i = 0;
    const qsizetype n = tag.size();
    while (i < n) {
        while (i < n && (isHtmlSpace(tag[i]) || tag[i] == u'/'))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !isHtmlSpace(tag[i]) && tag[i] != u'/' && tag[i] != u'=')
            ++i;
        const QStringView found = tag.sliced(nameStart, i - nameStart);
        while (i < n && isHtmlSpace(tag[i]))
            ++i;
        QStringView value;
        if (i < n && tag[i] == u'=') {
            ++i;
            while (i < n && isHtmlSpace(tag[i]))
                ++i;
            const QChar quote = i < n && (tag[i] == u'"' || tag[i] == u'\'') ? tag[i] : QChar();
            const qsizetype start = quote.isNull() ? i : i + 1;
            i = start;
            while (i < n && (quote.isNull() ? !isHtmlSpace(tag[i]) : tag[i] != quote))
                ++i;
            value = tag.sliced(start, i - start);
            ++i;
        }
        if (!found.isEmpty() && found.compare(name, Qt::CaseInsensitive) == 0)
            return value.toString();
    }
    return QString();
}

int digitValue(QChar c, bool hex) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (hex && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (hex && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

class Converter {
public:
    Converter(QStringView html, bool newlinesBreak, HtmlExtras* extras)
        : m_in(html), m_newlines(newlinesBreak), m_extras(extras) {}

    QString run() {
        m_out.reserve(m_in.size()); // markup only ever shortens the text
        while (m_at < m_in.size()) {
            const QChar c = m_in[m_at];
            if (c == u'<' && markup())
                continue;
            if (c == u'&' && reference())
                continue;
            if (c == u'\n' && m_newlines) {
                ++m_at;
                hardBreak();
            } else if (isHtmlSpace(c)) {
                ++m_at;
                m_space = true;
            } else {
                put(plainRun(), false);
            }
        }
        if (m_solidBegin < 0)
            return QString();
        return m_out.mid(m_solidBegin, m_solidEnd - m_solidBegin);
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
    // Text that shows: whitespace at its ends goes when the whole text ends there, unless it
    // was written as a numeric reference (`kept`).
    void put(QStringView s, bool kept) {
        flush();
        const qsizetype base = m_out.size();
        m_out += s;
        qsizetype first = 0, last = s.size();
        if (!kept) {
            while (first < last && s[first].isSpace())
                ++first;
            while (last > first && s[last - 1].isSpace())
                --last;
        }
        if (first == last)
            return;
        if (m_solidBegin < 0)
            m_solidBegin = base + first;
        m_solidEnd = base + last;
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
    bool markup() {
        const qsizetype at = m_at;
        if (at + 1 >= m_in.size())
            return false;
        const QChar next = m_in[at + 1];
        if (m_in.sliced(at + 1).startsWith(u"!--")) { // to "-->", or the end as in a browser
            const qsizetype end = m_in.indexOf(u"-->", at + 2);
            m_at = end < 0 ? m_in.size() : end + 3;
            return true;
        }
        if (isLatin(next))
            return tag(at + 1, false);
        if (next == u'/') {
            if (at + 2 < m_in.size() && isLatin(m_in[at + 2]))
                return tag(at + 2, true);
            return declaration(at + 2);
        }
        if (next == u'!' || next == u'?')
            return declaration(at + 2);
        return false;
    }

    // "<!DOCTYPE …>", "<?…>", "</…>" without a name: dropped up to ">".
    bool declaration(qsizetype from) {
        const qsizetype end = markupEnd(from, Bogus);
        if (end < 0)
            return false;
        m_at = end + 1;
        return true;
    }

    bool tag(qsizetype nameStart, bool closing) {
        const qsizetype end = markupEnd(nameStart, Name);
        if (end < 0)
            return false; // no end: the "<" is text
        qsizetype nameEnd = nameStart;
        while (nameEnd < end && !isHtmlSpace(m_in[nameEnd]) && m_in[nameEnd] != u'/')
            ++nameEnd;
        const QStringView name = lowered(m_in.sliced(nameStart, nameEnd - nameStart));
        m_at = end + 1;
        if (!closing && m_extras)
            note(name, m_in.sliced(nameEnd, end - nameEnd));
        if (name == u"br")
            hardBreak();
        else if (isBlock(name))
            softBreak();
        else if (name == u"td" || name == u"th")
            m_space = true;
        else if (!closing && (name == u"script" || name == u"style"))
            skipTo(QStringLiteral("</") + name.toString());
        else if (!closing &&
                 (name == u"audio" || name == u"video" || name == u"object" || name == u"iframe"))
            skipFallback(name);
        return true;
    }

    // The tag's name in lower case. Most names are short and Latin: lowered here into a
    // buffer of the converter's own, without a new string each time.
    QStringView lowered(QStringView name) {
        if (name.size() > qsizetype(std::size(m_short)) ||
            std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x80; })) {
            m_long = name.toString().toLower();
            return m_long;
        }
        QChar* out = m_short;
        for (QChar c : name)
            *out++ = c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c;
        return QStringView(m_short, name.size());
    }

    // What a browser shows only where it cannot play or embed: skipped, but the address of
    // a sound given in its first <source> is kept.
    void skipFallback(QStringView name) {
        const qsizetype close =
            m_in.indexOf(QStringLiteral("</") + name.toString(), m_at, Qt::CaseInsensitive);
        const QStringView inside = m_in.sliced(m_at, (close < 0 ? m_in.size() : close) - m_at);
        m_at += inside.size();
        const qsizetype source = inside.indexOf(u"<source", 0, Qt::CaseInsensitive);
        if (!m_extras || source < 0 || !m_extras->media.last().isEmpty())
            return;
        const qsizetype end = inside.indexOf(u'>', source);
        const qsizetype attributes = source + 7;
        m_extras->media.last() = attribute(
            inside.sliced(attributes, (end < 0 ? inside.size() : end) - attributes), u"src");
    }

    void note(QStringView name, QStringView attributes) {
        if (name == u"img") {
            m_extras->pictures << attribute(attributes, u"src");
        } else if (name == u"a") {
            const QString href = attribute(attributes, u"href");
            if (!href.isEmpty())
                m_extras->links << href;
        } else if (name == u"audio" || name == u"video" || name == u"embed" || name == u"iframe") {
            m_extras->media << attribute(attributes, u"src");
        } else if (name == u"object") {
            m_extras->media << attribute(attributes, u"data");
        }
    }

    // The ">" that ends markup scanned from `from` in `state`, or -1 when the text ends
    // first. Where a scan found no end, its positions are marked with the state it had there,
    // so that a later scan meeting one stops at once: text full of "<a" or of "<a href='"
    // is scanned a bounded number of times, not once for each "<".
    qsizetype markupEnd(qsizetype from, Scan state) {
        const qsizetype end = walk(from, state, false);
        if (end < 0) {
            if (m_dead.isEmpty())
                m_dead = QByteArray(m_in.size(), '\0');
            walk(from, state, true);
        }
        return end;
    }
    qsizetype walk(qsizetype i, int state, bool mark) {
        for (; i < m_in.size(); ++i) {
            const char bit = char(1 << state);
            if (!m_dead.isEmpty() && (m_dead[i] & bit))
                return -1;
            if (mark)
                m_dead[i] = char(m_dead[i] | bit);
            state = step(state, m_in[i]);
            if (state == endOfMarkup)
                return i;
        }
        return -1;
    }

    void skipTo(const QString& end) {
        const qsizetype at = m_in.indexOf(end, m_at, Qt::CaseInsensitive);
        m_at = at < 0 ? m_in.size() : at;
    }

    // One character as UTF-16, in a buffer of the converter's own.
    QStringView ucs4(char32_t c) {
        if (QChar::requiresSurrogates(c)) {
            m_char[0] = QChar(QChar::highSurrogate(c));
            m_char[1] = QChar(QChar::lowSurrogate(c));
            return QStringView(m_char, 2);
        }
        m_char[0] = QChar(char16_t(c));
        return QStringView(m_char, 1);
    }

    // "&" starting a character reference: consumes it and returns true.
    bool reference() {
        qsizetype i = m_at + 1;
        const qsizetype n = m_in.size();
        if (i < n && m_in[i] == u'#') {
            const bool hex = i + 1 < n && (m_in[i + 1] == u'x' || m_in[i + 1] == u'X');
            i += hex ? 2 : 1;
            const qsizetype digits = i;
            char32_t value = 0;
            for (int d = 0; i < n && (d = digitValue(m_in[i], hex)) >= 0; ++i)
                value = qMin<char32_t>(value * (hex ? 16 : 10) + char32_t(d), 0x110000);
            if (i == digits || i >= n || m_in[i] != u';')
                return false;
            const char32_t c =
                value == 0 || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff) ? 0xfffd
                                                                                       : value;
            m_at = i + 1;
            put(ucs4(c), true);
            return true;
        }
        const qsizetype nameStart = i;
        while (i < n && i - nameStart < 32 && m_in[i] < u'\x80' && m_in[i].isLetterOrNumber())
            ++i;
        if (i == nameStart || i >= n || m_in[i] != u';')
            return false;
        const char32_t c = namedEntity(m_in.sliced(nameStart, i - nameStart));
        if (!c)
            return false;
        m_at = i + 1;
        put(ucs4(c), false);
        return true;
    }

    QStringView m_in;
    bool m_newlines;
    HtmlExtras* m_extras;
    qsizetype m_at = 0;
    QString m_out;
    qsizetype m_solidBegin = -1; // the text kept: from the first to the last character that
    qsizetype m_solidEnd = 0;    // shows, or was written as a numeric reference
    QChar m_short[16];           // the last tag's name, lowered, when short and Latin
    QString m_long;              // or else
    QChar m_char[2];             // the last reference's character
    QByteArray m_dead;           // per position, the scan states from which markup finds no end
    bool m_space = false;        // whitespace seen that shows as one space, unless a line ends
    bool m_block = false;        // a block ended or began: a line break unless the text ends
};

} // namespace

QString htmlToText(QStringView html, bool newlinesBreak, HtmlExtras* extras) {
    return Converter(html, newlinesBreak, extras).run();
}

QString embeddedFileName(const QString& address) {
    static const QString prefix = QStringLiteral("@@PLUGINFILE@@/");
    if (!address.startsWith(prefix))
        return {};
    return QUrl::fromPercentEncoding(address.mid(prefix.size()).section(u'?', 0, 0).toUtf8());
}

} // namespace exchange
