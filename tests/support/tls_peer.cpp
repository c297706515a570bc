#include "tls_peer.h"

#include "certificate.h"

#include <QJsonDocument>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>

TestCertificate TestCertificate::make(const QString& name) {
    try {
        const kvserver::KeyAndCertificate made = kvserver::makeSelfSigned({name.toStdString()}, 2);
        return {QByteArray::fromStdString(made.certificatePem),
                QByteArray::fromStdString(made.keyPem)};
    } catch (const std::exception& e) {
        qWarning("no certificate could be made: %s", e.what());
        return {};
    }
}

TlsPeer::TlsPeer(const TestCertificate& certificate, Script script, Mode mode)
    : m_script(std::move(script)) {
    if (mode == CutHandshake) {
        m_plain = new QTcpServer(this);
        connect(m_plain, &QTcpServer::newConnection, this, [this] {
            // Whatever the client says first, the connection ends before TLS is agreed.
            while (QTcpSocket* s = m_plain->nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    s->abort();
                    s->deleteLater();
                });
        });
        if (m_plain->listen(QHostAddress::LocalHost, 0))
            m_port = m_plain->serverPort();
        return;
    }
    m_tls = new QSslServer(this);
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setLocalCertificate(QSslCertificate(certificate.pem, QSsl::Pem));
    c.setPrivateKey(QSslKey(certificate.key, QSsl::Ec, QSsl::Pem));
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_tls->setSslConfiguration(c);
    connect(m_tls, &QSslServer::pendingConnectionAvailable, this, [this] {
        while (auto* s = static_cast<QSslSocket*>(m_tls->nextPendingConnection()))
            serve(s);
    });
    if (m_tls->listen(QHostAddress::LocalHost, 0))
        m_port = m_tls->serverPort();
}

TlsPeer::~TlsPeer() = default;

void TlsPeer::serve(QSslSocket* socket) {
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::disconnected, this, [this, socket] {
        ++closedByClient;
        socket->deleteLater();
    });
    connect(socket, &QSslSocket::readyRead, this, [this, socket, buffer] {
        *buffer += socket->readAll();
        for (;;) {
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            qsizetype length = 0;
            for (const QByteArray& line : lines)
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            if (buffer->size() < end + 4 + length)
                return;
            const QByteArray path = lines.value(0).split(' ').value(1);
            const QJsonObject body = QJsonDocument::fromJson(buffer->mid(end + 4, length)).object();
            buffer->remove(0, end + 4 + length);
            paths << QString::fromLatin1(path);
            bodies << body;
            const Reply reply = m_script(path, body);
            if (reply.hang)
                continue;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\n";
            QByteArray lengthLine =
                "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
            for (const auto& [name, value] : reply.headers) {
                out += name + ": " + value + "\r\n";
                if (name.toLower() == "content-length")
                    lengthLine.clear(); // the script's own, wrong on purpose
            }
            socket->write(out + lengthLine +
                          "Content-Type: application/json\r\nConnection: keep-alive\r\n\r\n" +
                          reply.body);
        }
    });
}
