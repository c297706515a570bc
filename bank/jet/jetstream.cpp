#include "jetstream.h"

#include "jetstream_format.h"

#include <cstring>

namespace jetstream {
namespace {

constexpr quint32 maxNameBytes = 1024;
constexpr quint32 maxReasonBytes = 4096;
// Texts beyond what the reader takes (it refuses a text over 256 KB, and a Jet 3 character
// can take two bytes).
constexpr quint32 maxTextBytes = 1024 * 1024;
constexpr qsizetype largePart = 8 * 1024 * 1024;

[[noreturn]] void malformed(const char* what) {
    throw StreamError(
        QStringLiteral("поток данных программы чтения искажён (%1)").arg(QString::fromUtf8(what)));
}

// A part of the stream is not all there yet: it needs `size` bytes from where it starts.
struct Incomplete {
    qsizetype size;
};

} // namespace

// Reads one part of the stream front to back; every read checks what is left. A dry cursor
// only walks the part, to learn whether all of it is there: it copies nothing, and what it
// returns is not to be looked at.
class Cursor {
public:
    Cursor(const QByteArray& data, qsizetype start, bool dry)
        : m_data(data), m_start(start), m_pos(start), m_dry(dry) {}

    bool dry() const { return m_dry; }
    qsizetype position() const { return m_pos; }
    bool atEnd() const { return m_pos == m_data.size(); }
    bool matches(const char* bytes, qsizetype size) {
        need(size);
        m_pos += size;
        return std::memcmp(m_data.constData() + m_pos - size, bytes, size_t(size)) == 0;
    }
    quint8 byte() {
        need(1);
        return quint8(m_data[m_pos++]);
    }
    quint32 u32() {
        need(4);
        quint32 value = 0;
        for (int i = 0; i < 4; ++i)
            value |= quint32(quint8(m_data[m_pos + i])) << (8 * i);
        m_pos += 4;
        return value;
    }
    QByteArray bytes(quint32 max) {
        const quint32 size = u32();
        if (size > max)
            malformed("слишком длинное значение");
        need(size);
        QByteArray value;
        if (!m_dry) {
            value = m_data.mid(m_pos, qsizetype(size));
            if (value.isNull())
                value = QByteArray(""); // an empty value is not NULL
        }
        m_pos += size;
        return value;
    }
    QString text(quint32 max) {
        const QByteArray value = bytes(max);
        const QString text = QString::fromUtf8(value);
        if (!m_dry && text.toUtf8() != value)
            malformed("текст не в UTF-8");
        return text;
    }

private:
    void need(qint64 size) const {
        if (size <= m_data.size() - m_pos)
            return;
        const qint64 part = m_pos - m_start + size;
        if (part > maxRecordBytes)
            malformed("слишком длинная запись");
        throw Incomplete{qsizetype(part)};
    }
    const QByteArray& m_data;
    qsizetype m_start;
    qsizetype m_pos;
    bool m_dry;
};

namespace {

// The reader's own reason for a failed read.
void failed(Cursor& in) {
    const QString reason = in.text(maxReasonBytes);
    if (!in.dry())
        throw StreamError(reason);
}

void readColumns(Cursor& in, Header& header) {
    const quint32 count = in.u32();
    if (count == 0 || count > maxColumns)
        malformed("число полей");
    for (quint32 i = 0; i < count; ++i) {
        const int kind = in.byte();
        const QString name = in.text(maxNameBytes);
        if (in.dry())
            continue;
        if (kind < kindInteger || kind > kindOther)
            malformed("тип поля");
        if (name.isEmpty())
            malformed("пустое имя поля");
        header.kinds << kind;
        header.names << name;
    }
}

} // namespace

void Parser::feed(QByteArrayView bytes) {
    m_buffer.append(bytes);
    qsizetype done = 0;
    while (m_buffer.size() - done >= m_needed) {
        try {
            Cursor dry(m_buffer, done, true);
            if (!step(dry))
                break;
        } catch (const Incomplete& missing) {
            // Tried again once it has what it lacks, and twice what it has: a record that
            // comes a byte at a time is walked a few times, not once a byte.
            m_needed = qMax(missing.size, 2 * (m_buffer.size() - done));
            break;
        }
        m_needed = 0;
        Cursor in(m_buffer, done, false);
        step(in);
        done = in.position();
        if (m_row.isEmpty())
            continue;
        // A large record is let go of before it is handed on, so that it is not held twice.
        if (done >= largePart) {
            m_buffer = m_buffer.sliced(done);
            done = 0;
        }
        QVector<QByteArray> row = std::move(m_row);
        m_row.clear();
        if (onRow)
            onRow(row);
    }
    m_buffer.remove(0, done);
}

void Parser::finish() {
    m_needed = 0;
    feed(QByteArrayView()); // parts that were waiting for more may be whole
    if (m_stage == Stage::Magic && m_buffer.size() < qsizetype(sizeof magic))
        malformed("нет заголовка");
    if (m_stage != Stage::Done)
        malformed("обрыв");
}

bool Parser::step(Cursor& in) {
    const bool dry = in.dry();
    switch (m_stage) {
    case Stage::Magic:
        if (!in.matches(magic, sizeof magic))
            malformed("нет заголовка");
        if (!dry)
            m_stage = Stage::File;
        return true;
    case Stage::File: {
        const quint8 tag = in.byte();
        if (tag == tagFailed) {
            failed(in);
            return true;
        }
        if (tag != tagFile)
            malformed("нет описания файла");
        const int version = in.byte();
        if (version != 3 && version != 4)
            malformed("версия");
        const int codePage = int(in.u32() & 0xffff);
        if (!dry) {
            m_header.version = version;
            m_header.codePage = codePage;
            m_stage = Stage::Table;
        }
        return true;
    }
    case Stage::Table: {
        const quint8 tag = in.byte();
        Header header = m_header;
        if (tag == tagFailed) {
            failed(in);
            return true;
        }
        if (tag == tagNoTable) {
            in.text(maxNameBytes);
        } else if (tag == tagColumns) {
            header.found = true;
            readColumns(in, header);
        } else {
            malformed("метка");
        }
        if (!dry) {
            m_header = header;
            m_stage = header.found ? Stage::Records : Stage::Done;
            if (onHeader)
                onHeader(m_header);
        }
        return true;
    }
    case Stage::Records: {
        const quint8 tag = in.byte();
        if (tag == tagEnd) {
            const quint32 count = in.u32();
            if (!dry && count != m_records)
                malformed("число записей");
            if (!dry)
                m_stage = Stage::Done;
            return true;
        }
        if (tag == tagFailed) {
            failed(in);
            return true;
        }
        if (tag != tagRecord)
            malformed("метка записи");
        QVector<QByteArray> row(dry ? 0 : m_header.names.size());
        for (qsizetype i = 0; i < m_header.names.size(); ++i) {
            const quint8 present = in.byte();
            if (present > 1)
                malformed("признак значения");
            if (present) {
                const bool binary = m_header.kinds[i] == kindBinary;
                QByteArray value = in.bytes(binary ? 0x7fffffff : maxTextBytes);
                if (!dry)
                    row[i] = std::move(value);
            }
        }
        if (!dry) {
            ++m_records;
            m_row = std::move(row); // handed on by feed()
        }
        return true;
    }
    case Stage::Done:
        if (!in.atEnd())
            malformed("лишние данные в конце");
        return false;
    }
    return false;
}

Table parse(const QByteArray& stream) {
    Table table;
    Parser parser;
    parser.onHeader = [&](const Header& header) { static_cast<Header&>(table) = header; };
    parser.onRow = [&](QVector<QByteArray>& row) { table.rows.append(std::move(row)); };
    parser.feed(stream);
    parser.finish();
    return table;
}

} // namespace jetstream
