#include "oleobject.h"

#include <optional>

namespace oleobject {
namespace {

constexpr quint16 headerSignature = 0x1c15;
constexpr quint32 ole1Version = 0x0501;
constexpr quint32 ole1Embedded = 2;
constexpr quint32 maxNameLength = 1024;

class Reader {
public:
    explicit Reader(const QByteArray& data, qsizetype pos = 0) : m_data(data), m_pos(pos) {}

    std::optional<quint32> u16() { return number(2); }
    std::optional<quint32> u32() { return number(4); }
    // A length-prefixed OLE 1 string: skipped.
    bool skipString() {
        const auto length = u32();
        if (!length || *length > maxNameLength || *length > left())
            return false;
        m_pos += *length;
        return true;
    }
    qsizetype pos() const { return m_pos; }
    qint64 left() const { return m_data.size() - m_pos; }

private:
    std::optional<quint32> number(int size) {
        if (left() < size)
            return std::nullopt;
        quint32 value = 0;
        for (int i = 0; i < size; ++i)
            value |= quint32(quint8(m_data[m_pos + i])) << (8 * i);
        m_pos += size;
        return value;
    }

    const QByteArray& m_data;
    qsizetype m_pos;
};

} // namespace

bool isOleObject(const QByteArray& bytes) {
    Reader in(bytes);
    return in.u16() == headerSignature;
}

QByteArray embeddedBitmap(const QByteArray& bytes) {
    Reader header(bytes);
    if (header.u16() != headerSignature)
        return QByteArray();
    const auto headerSize = header.u16();
    if (!headerSize || *headerSize < 4 || *headerSize > bytes.size())
        return QByteArray();
    Reader in(bytes, *headerSize);
    if (in.u32() != ole1Version || in.u32() != ole1Embedded)
        return QByteArray();
    if (!in.skipString() || !in.skipString() || !in.skipString()) // class, topic, item
        return QByteArray();
    const auto nativeSize = in.u32();
    if (!nativeSize || *nativeSize < 14 || *nativeSize > in.left())
        return QByteArray();
    const QByteArray native = bytes.mid(in.pos(), qsizetype(*nativeSize));
    if (!native.startsWith("BM"))
        return QByteArray();
    return native;
}

} // namespace oleobject
