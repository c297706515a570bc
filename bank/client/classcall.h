#pragma once

#include <QJsonObject>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>
#include <functional>
#include <string_view>

class Delay;
class QNetworkAccessManager;
class QNetworkReply;

// Calls to kviront-server over HTTPS: JSON bodies, the server's own certificate pinned, a body
// limit on every reply, a deadline on every call, and one place that tells a passing trouble,
// worth sending again, from a final refusal.
namespace classclient {

enum class Outcome {
    Ok,      // 200 with a JSON object
    Passing, // no connection, a lost or late reply, a handshake cut short, 429/502/503/504
    Final,   // a refusal the server means, a reply that is not one, another certificate
};

struct CallResult {
    Outcome outcome = Outcome::Final;
    int status = 0;   // the HTTP status; 0 when no reply came
    QString error;    // the server's "error" code, or "network", "timeout", "certificate", "reply"
    QString message;  // why, in Russian, as the trainee reads it
    QJsonObject body; // of a successful call
    int retryAfterSeconds = 0; // a passing refusal's Retry-After, 0 when it named none
    bool ok() const { return outcome == Outcome::Ok; }
};

// The longest a call goes without a byte from the server before it is given up and its
// connection closed, so the server stops working for it too.
constexpr int callTimeoutMs = 5000;

class Call;

// One class server as a server bank file names it: its https:// address and the one
// certificate the program trusts for it. The server must present exactly that certificate,
// whatever any certificate authority says of another; the certificate's own host name does not
// matter. TLS 1.2 or newer, HTTP/1.1 with keep-alive, no proxy, no redirect followed.
class ClassServer : public QObject {
    Q_OBJECT
public:
    ClassServer(const QString& url, const QByteArray& certificatePem, QObject* parent = nullptr);

    // Why no call can be made (an unreadable certificate, no TLS in the system); empty when
    // calls can be made.
    const QString& problem() const { return m_problem; }
    // "host:port" as messages name the server.
    QString name() const;
    const QString& url() const { return m_url; }
    const QByteArray& certificatePem() const { return m_pem; }
    const QSslCertificate& certificate() const { return m_certificate; }

    // Sends `body` to `path`; the call reports once, by its done() signal, never before this
    // returns.
    Call* post(std::string_view path, const QJsonObject& body);

private:
    QNetworkAccessManager* m_net;
    QString m_url;
    QByteArray m_pem;
    QUrl m_base;
    QSslCertificate m_certificate;
    QSslConfiguration m_ssl;
    QString m_problem;
};

// One call in flight. It deletes itself after done().
class Call : public QObject {
    Q_OBJECT
public:
    Call(ClassServer* server, QNetworkReply* reply, std::string_view path);
    // A call that fails before anything is sent.
    Call(ClassServer* server, const CallResult& failure);
    // Given up by its caller: the connection is closed, done() never comes.
    void abandon();

signals:
    void done(const classclient::CallResult& result);

private:
    void read();
    void checkPeer();
    void finish();
    CallResult result() const;
    void report(const CallResult& result);

    ClassServer* m_server;
    QNetworkReply* m_reply = nullptr;
    std::string m_path;
    Delay* m_deadline = nullptr;
    QByteArray m_body;
    bool m_tooLarge = false;
    bool m_timedOut = false;
    bool m_untrusted = false;
    bool m_reported = false;
};

// A text from the server made fit to show: no control characters, at most `maxChars`.
QString shownText(const QString& text, int maxChars = 500);

} // namespace classclient
