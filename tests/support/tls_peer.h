#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

class QTcpServer;
class QSslServer;

// A self-signed certificate (PEM) for `name`, made as the server's setup makes them; empty pem
// (and a warning) when it cannot be made.
struct TestCertificate {
    QByteArray pem;
    QByteArray key;
    static TestCertificate make(const QString& name);
};

// The hostile or broken server a real kviront-server never is, on 127.0.0.1: HTTP/1.1 with
// keep-alive under its own certificate, each request answered as the test's script says.
// CutHandshake drops every connection before any TLS is spoken.
class TlsPeer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        int status = 200;
        QByteArray body = {};
        QList<QPair<QByteArray, QByteArray>> headers = {};
        bool hang = false; // read the request and never answer
    };
    using Script = std::function<Reply(const QByteArray& path, const QJsonObject& request)>;
    enum Mode { Serve, CutHandshake };

    TlsPeer(const TestCertificate& certificate, Script script, Mode mode = Serve);
    ~TlsPeer() override;

    bool ok() const { return m_port != 0; }
    QString url() const { return QStringLiteral("https://127.0.0.1:%1").arg(m_port); }

    QStringList paths;         // of the requests read, in order
    QList<QJsonObject> bodies; // their bodies
    int closedByClient = 0;    // connections the client closed

private:
    void serve(class QSslSocket* socket);

    Script m_script;
    QSslServer* m_tls = nullptr;
    QTcpServer* m_plain = nullptr;
    quint16 m_port = 0;
};
