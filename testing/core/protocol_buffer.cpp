#include "protocol_buffer.h"

#include "textfile.h"

void ProtocolBuffer::append(const QStringList& texts) {
    for (const QString& text : texts)
        m_text += text + QLatin1String("\r\n");
}

QByteArray ProtocolBuffer::bytes() const {
    return textfile::toCp1251(m_text);
}
