#include "jetstream.h"

#include "error.h"
#include "jetstream_format.h"

#include <cstring>

namespace jetstream {
namespace {

constexpr quint32 maxNameBytes = 1024;
constexpr quint32 maxReasonBytes = 4096;

[[noreturn]] void malformed(const char* what) {
    throw Error(
        QStringLiteral("поток данных программы чтения искажён (%1)").arg(QString::fromUtf8(what)));
}

// Reads the stream front to back; every read checks what is left.
class Cursor {
public:
    explicit Cursor(const QByteArray& data) : m_data(data) {}

    bool atEnd() const { return m_pos == m_data.size(); }
    quint8 byte() {
        need(1, "обрыв");
        return quint8(m_data[m_pos++]);
    }
    quint32 u32() {
        need(4, "обрыв");
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
        need(size, "обрыв значения");
        QByteArray value = m_data.mid(m_pos, qsizetype(size));
        if (value.isNull())
            value = QByteArray(""); // an empty value is not NULL
        m_pos += size;
        return value;
    }
    QString text(quint32 max) {
        const QByteArray value = bytes(max);
        const QString text = QString::fromUtf8(value);
        if (text.toUtf8() != value)
            malformed("текст не в UTF-8");
        return text;
    }
    void need(qint64 size, const char* what) const {
        if (size > m_data.size() - m_pos)
            malformed(what);
    }

private:
    const QByteArray& m_data;
    qsizetype m_pos = 0;
};

void readColumns(Cursor& in, Table& table) {
    const quint32 count = in.u32();
    if (count == 0 || count > maxColumns)
        malformed("число полей");
    for (quint32 i = 0; i < count; ++i) {
        const int kind = in.byte();
        if (kind < kindInteger || kind > kindOther)
            malformed("тип поля");
        const QString name = in.text(maxNameBytes);
        if (name.isEmpty())
            malformed("пустое имя поля");
        table.kinds << kind;
        table.names << name;
    }
}

void readRecords(Cursor& in, Table& table) {
    const int count = int(table.names.size());
    for (;;) {
        const quint8 tag = in.byte();
        if (tag == tagEnd) {
            if (in.u32() != quint32(table.rows.size()))
                malformed("число записей");
            return;
        }
        if (tag == tagFailed)
            throw Error(in.text(maxReasonBytes));
        if (tag != tagRecord)
            malformed("метка записи");
        QVector<QByteArray> row(count);
        for (int i = 0; i < count; ++i) {
            const quint8 present = in.byte();
            if (present > 1)
                malformed("признак значения");
            if (present)
                row[i] = in.bytes(0x7fffffff);
        }
        table.rows.append(std::move(row));
    }
}

} // namespace

Table parse(const QByteArray& stream) {
    if (stream.size() < qsizetype(sizeof magic) ||
        std::memcmp(stream.constData(), magic, sizeof magic) != 0)
        malformed("нет заголовка");
    QByteArray body = stream.mid(sizeof magic);
    Cursor in(body);
    Table table;
    const quint8 first = in.byte();
    if (first == tagFailed)
        throw Error(in.text(maxReasonBytes));
    if (first != tagFile)
        malformed("нет описания файла");
    table.version = in.byte();
    if (table.version != 3 && table.version != 4)
        malformed("версия");
    table.codePage = int(in.u32() & 0xffff);
    const quint8 tag = in.byte();
    if (tag == tagFailed)
        throw Error(in.text(maxReasonBytes));
    if (tag == tagNoTable) {
        in.text(maxNameBytes);
    } else if (tag == tagColumns) {
        table.found = true;
        readColumns(in, table);
        readRecords(in, table);
    } else {
        malformed("метка");
    }
    if (!in.atEnd())
        malformed("лишние данные в конце");
    return table;
}

} // namespace jetstream
