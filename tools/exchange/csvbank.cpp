#include "csvbank.h"

#include "error.h"
#include "pictures.h"
#include "textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>

namespace exchange::csvbank {
namespace {

using namespace Qt::Literals::StringLiterals;

const QStringList columns{u"Name"_s,   u"Vopros"_s, u"Otvet1"_s,  u"Otvet2"_s,
                          u"Otvet3"_s, u"Otvet4"_s, u"PrOtvet"_s, u"Graph"_s};
enum Column { Name, Vopros, Otvet1, PrOtvet = 6, Graph = 7 };

// UTF-8 (a byte-order mark or not) when the bytes are that, else Windows-1251.
QString decode(const QByteArray& source) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(source);
    if (!utf8.hasError())
        return text;
    return textfile::fromCp1251(source);
}

// Splits CSV text into rows of fields, each row with the line it starts on.
class Rows {
public:
    Rows(const QString& text, QChar separator) : m_text(text), m_sep(separator) {}

    // The next row; false at the end. `error` set when a quote is left open.
    bool next(QStringList* fields, int* line, QString* error) {
        fields->clear();
        // Blank lines between rows are passed over.
        while (m_at < m_text.size() && (m_text[m_at] == u'\n' || m_text[m_at] == u'\r')) {
            if (m_text[m_at] == u'\n')
                ++m_line;
            ++m_at;
        }
        if (m_at >= m_text.size())
            return false;
        *line = m_line;
        QString field;
        bool quoted = false, wasQuoted = false;
        for (; m_at < m_text.size(); ++m_at) {
            const QChar c = m_text[m_at];
            if (c == u'\n')
                ++m_line;
            if (quoted) {
                if (c != u'"') {
                    field += c;
                } else if (m_at + 1 < m_text.size() && m_text[m_at + 1] == u'"') {
                    field += c;
                    ++m_at;
                } else {
                    quoted = false;
                }
            } else if (c == u'"' && !wasQuoted && field.isEmpty()) {
                quoted = wasQuoted = true;
            } else if (c == m_sep) {
                *fields << field;
                field.clear();
                wasQuoted = false;
            } else if (c == u'\n' ||
                       (c == u'\r' && m_at + 1 < m_text.size() && m_text[m_at + 1] == u'\n')) {
                if (c == u'\r') {
                    ++m_at;
                    ++m_line;
                }
                ++m_at;
                break;
            } else {
                field += c;
            }
        }
        *fields << field;
        if (quoted)
            *error = u"кавычка не закрыта до конца файла"_s;
        return true;
    }

private:
    const QString& m_text;
    QChar m_sep;
    qsizetype m_at = 0;
    int m_line = 1;
};

QChar separatorOf(const QString& text) {
    const QString header = text.section(u'\n', 0, 0);
    return header.count(u',') > header.count(u';') ? u',' : u';';
}

// A text a spreadsheet would run as a formula ("=", "+", "-", "@" first) is written with an
// apostrophe in front, as spreadsheets themselves mark text; so is one that already starts with
// apostrophes before such a character, so that reading takes exactly one away again.
bool looksLikeFormula(const QString& text, qsizetype from) {
    qsizetype i = from;
    while (i < text.size() && text[i] == u'\'')
        ++i;
    return i < text.size() && QStringView(u"=+-@").contains(text[i]);
}

QString neutralised(const QString& text) {
    return looksLikeFormula(text, 0) ? u'\'' + text : text;
}

QString restored(const QString& text) {
    return text.startsWith(u'\'') && looksLikeFormula(text, 1) ? text.mid(1) : text;
}

QVariant nameValue(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QVariant();
    bool ok = false;
    const qint64 number = t.toLongLong(&ok);
    return ok ? QVariant(number) : QVariant(text);
}

} // namespace

PictureFiles filesIn(const QString& folder) {
    return [folder](const QString& path) {
        const QString file = QDir(folder).filePath(path);
        if (!QFileInfo(file).isFile())
            throw Error(u"нет файла рисунка «%1»"_s.arg(path));
        return textfile::readFile(file, maxPictureBytes);
    };
}

void read(const QByteArray& source, const PictureFiles& pictures, Result& result) {
    const QString text = decode(source);
    Rows rows(text, separatorOf(text));
    QStringList fields;
    int line = 0;
    QString error;
    if (!rows.next(&fields, &line, &error)) {
        result.breakOff(1, u"файл пуст: нет даже заголовка"_s);
        return;
    }
    QVector<int> at(columns.size(), -1); // field of each column
    for (int i = 0; i < fields.size(); ++i) {
        const auto known = std::find_if(columns.begin(), columns.end(), [&](const QString& c) {
            return c.compare(fields[i].trimmed(), Qt::CaseInsensitive) == 0;
        });
        if (known == columns.end() || at[known - columns.begin()] >= 0) {
            result.breakOff(
                line, u"в заголовке неизвестный или повторный столбец «%1»; нужны "
                      u"Name;Vopros;Otvet1;Otvet2;Otvet3;Otvet4;PrOtvet;Graph"_s.arg(fields[i]));
            return;
        }
        at[known - columns.begin()] = i;
    }
    for (int c = Vopros; c <= PrOtvet; ++c)
        if (at[c] < 0) {
            result.breakOff(line, u"в заголовке нет столбца %1"_s.arg(columns[c]));
            return;
        }
    while (rows.next(&fields, &line, &error)) {
        if (!error.isEmpty()) {
            result.breakOff(line, error);
            return;
        }
        if (fields.size() != at.size() - at.count(-1)) {
            result.refuse(line, u"полей %1, а столбцов в заголовке %2"_s.arg(fields.size())
                                    .arg(at.size() - at.count(-1)));
            continue;
        }
        const auto field = [&](int c) { return at[c] < 0 ? QString() : restored(fields[at[c]]); };
        Question q;
        q.line = line;
        q.name = nameValue(field(Name));
        q.vopros = field(Vopros);
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = field(Otvet1 + k);
        const QString right = field(PrOtvet).trimmed();
        bool ok = false;
        const int number = right.toInt(&ok);
        if (!ok || number < 1 || number > 4) {
            result.refuse(line, u"номер правильного ответа «%1» — не 1, 2, 3 или 4"_s.arg(right));
            continue;
        }
        q.prOtvet = number;
        const QString graph = field(Graph).trimmed();
        if (!graph.isEmpty()) {
            try {
                q.graph = pictureToGraph(pictures(graph));
            } catch (const Error& e) {
                result.refuse(line, u"рисунок «%1»: %2"_s.arg(graph, e.message()));
                continue;
            }
        }
        result.take(q);
    }
}

Writer::Writer(QIODevice* target) : m_target(target) {
    m_failed = m_target->write("\xef\xbb\xbf") != 3;
    row(columns);
}

void Writer::row(const QStringList& fields) {
    QStringList out;
    for (const QString& field : fields) {
        const QString f = neutralised(field);
        const bool quote = f.contains(u';') || f.contains(u',') || f.contains(u'"') ||
                           f.contains(u'\n') || f.contains(u'\r') || f != f.trimmed();
        out << (quote ? u'"' + QString(f).replace(u"\""_s, u"\"\""_s) + u'"' : f);
    }
    const QByteArray bytes = (out.join(u';') + u"\r\n"_s).toUtf8();
    m_failed = m_failed || m_target->write(bytes) != bytes.size();
}

void Writer::add(const Question& q, const QString& picture) {
    row({q.name.toString(), q.vopros, q.otvet[0], q.otvet[1], q.otvet[2], q.otvet[3],
         q.prOtvet.toString(), picture});
}

void Writer::finish() {
    if (m_failed)
        throw Error(u"не удаётся записать файл: %1"_s.arg(m_target->errorString()));
}

} // namespace exchange::csvbank
