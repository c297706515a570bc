#include "classcall.h"

#include "classapi.h"
#include "client_hook.h"
#include "delay.h"

#include <QJsonDocument>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslSocket>

namespace classclient {
namespace {

QString networkReason(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("сервер не принимает соединений");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("сервер прервал соединение");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("имя сервера не найдено");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("сервер не ответил вовремя");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("защищённое соединение не установлено");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("сеть недоступна");
    default:
        return QStringLiteral("ошибка сети");
    }
}

CallResult passing(const QString& error, const QString& reason) {
    CallResult r;
    r.outcome = Outcome::Passing;
    r.error = error;
    r.message = reason;
    return r;
}

CallResult refusal(const QString& error, const QString& message, int status = 0) {
    CallResult r;
    r.outcome = Outcome::Final;
    r.error = error;
    r.message = message;
    r.status = status;
    return r;
}

} // namespace

QString shownText(const QString& text, int maxChars) {
    QString shown;
    for (QChar c : text) {
        if (shown.size() >= maxChars)
            break;
        shown.append(c.category() == QChar::Other_Control ? QChar(u' ') : c);
    }
    return shown.trimmed();
}

ClassServer::ClassServer(const QString& url, const QByteArray& certificatePem, QObject* parent)
    : QObject(parent), m_net(new QNetworkAccessManager(this)), m_url(url), m_pem(certificatePem),
      m_base(url) {
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(m_pem, QSsl::Pem);
    if (!QSslSocket::supportsSsl())
        m_problem = QStringLiteral("в системе нет поддержки защищённых соединений (OpenSSL)");
    else if (certificates.size() != 1 || certificates[0].isNull())
        m_problem = QStringLiteral("сертификат сервера в файле тестирования не читается");
    else
        m_certificate = certificates[0];
    m_ssl = QSslConfiguration::defaultConfiguration();
    // The pinned certificate is the only one trusted: no system authority can vouch for
    // another server under this address.
    m_ssl.setCaCertificates(m_certificate.isNull() ? QList<QSslCertificate>()
                                                   : QList<QSslCertificate>{m_certificate});
    m_ssl.setProtocol(QSsl::TlsV1_2OrLater);
    m_ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_net->setProxy(QNetworkProxy::NoProxy);
    m_net->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_net->setStrictTransportSecurityEnabled(false);
}

QString ClassServer::name() const {
    const int port = m_base.port(443);
    return port == 443 ? m_base.host() : QStringLiteral("%1:%2").arg(m_base.host()).arg(port);
}

Call* ClassServer::post(std::string_view path, const QJsonObject& body) {
    if (!m_problem.isEmpty())
        return new Call(this, refusal(QStringLiteral("certificate"), m_problem));
    const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    if (std::size_t(bytes.size()) > classapi::maxRequestBytes)
        return new Call(this, refusal(QStringLiteral("request"),
                                      QStringLiteral("запрос к серверу слишком велик")));
    QUrl url = m_base;
    url.setPath(QString::fromLatin1(path.data(), qsizetype(path.size())));
    QNetworkRequest request(url);
    request.setSslConfiguration(m_ssl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return new Call(this, m_net->post(request, bytes), path);
}

Call::Call(ClassServer* server, QNetworkReply* reply, std::string_view path)
    : QObject(server), m_server(server), m_reply(reply), m_path(path) {
    m_deadline = new Delay(this, Delay::Deadline, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort(); // closes the connection: the server stops working for it
    });
    m_deadline->start(callTimeoutMs);
    connect(reply, &QNetworkReply::readyRead, this, &Call::read);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > qint64(classapi::maxReplyBytes)) {
            m_tooLarge = true;
            m_reply->abort();
        }
    });
    connect(reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError>& errors) {
        // Errors are forgiven only for the pinned certificate itself: a school's certificate
        // need not name the address the class uses, nor be signed by anyone.
        QSslCertificate peer = m_reply->sslConfiguration().peerCertificate();
        for (const QSslError& e : errors)
            if (peer.isNull())
                peer = e.certificate();
        if (!peer.isNull() && peer == m_server->certificate())
            m_reply->ignoreSslErrors(errors);
        else
            m_untrusted = true;
    });
    connect(reply, &QNetworkReply::encrypted, this, &Call::checkPeer);
    connect(reply, &QNetworkReply::uploadProgress, this,
            [this] { m_deadline->start(callTimeoutMs); });
    connect(reply, &QNetworkReply::finished, this, &Call::finish);
}

Call::Call(ClassServer* server, const CallResult& failure) : QObject(server), m_server(server) {
    QMetaObject::invokeMethod(
        this, [this, failure] { report(failure); }, Qt::QueuedConnection);
}

void Call::abandon() {
    m_reported = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    deleteLater();
}

void Call::checkPeer() {
    // Also a chain that verifies must end in the pinned certificate itself, before a byte of
    // the request is sent.
    if (m_reply && m_reply->sslConfiguration().peerCertificate() != m_server->certificate()) {
        m_untrusted = true;
        m_reply->abort();
    }
}

void Call::read() {
    if (!m_reply || !m_reply->isOpen())
        return;
    m_deadline->start(callTimeoutMs);
    const qint64 room = qint64(classapi::maxReplyBytes) - m_body.size();
    m_body += m_reply->read(qMin(m_reply->bytesAvailable(), room + 1));
    if (m_body.size() > qint64(classapi::maxReplyBytes)) {
        m_tooLarge = true;
        m_body.clear();
        m_reply->abort();
    }
}

void Call::finish() {
    if (!m_reply || m_reported)
        return;
    read();
    m_deadline->stop();
    const CallResult r = result();
    m_reply->deleteLater();
    m_reply = nullptr;
    report(r);
}

void Call::report(const CallResult& result) {
    if (m_reported)
        return;
    m_reported = true;
    deleteLater();
    emit done(result);
}

CallResult Call::result() const {
    if (m_untrusted)
        return refusal(QStringLiteral("certificate"),
                       QStringLiteral("по его адресу ответил компьютер не с тем сертификатом, что "
                                      "записан в файле тестирования: это может быть чужой "
                                      "компьютер, связь с ним прервана"));
    if (m_tooLarge)
        return refusal(
            QStringLiteral("reply"),
            QStringLiteral("ответ больше %1 МБ").arg(classapi::maxReplyBytes / (1024 * 1024)));
    if (m_timedOut)
        return passing(QStringLiteral("timeout"),
                       QStringLiteral("сервер не ответил за %1 секунд").arg(callTimeoutMs / 1000));
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0)
        return passing(QStringLiteral("network"), networkReason(m_reply->error()));
    if (m_reply->sslConfiguration().peerCertificate() != m_server->certificate())
        return refusal(QStringLiteral("certificate"),
                       QStringLiteral("ответ пришёл без проверенного сертификата"));
    if (clienthook::dropReply && clienthook::dropReply(m_path, m_body))
        return passing(QStringLiteral("network"),
                       networkReason(QNetworkReply::RemoteHostClosedError));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(m_body, &parseError);
    const QJsonObject body = document.object();
    if (status == 200) {
        if (parseError.error != QJsonParseError::NoError || !document.isObject())
            return refusal(QStringLiteral("reply"), QStringLiteral("ответ не читается"), status);
        CallResult r;
        r.outcome = Outcome::Ok;
        r.status = status;
        r.body = body;
        return r;
    }
    const QString said = shownText(body.value(QLatin1String("message")).toString());
    CallResult r;
    r.status = status;
    r.error = shownText(body.value(QLatin1String("error")).toString(), 40);
    if (classapi::isPassingStatus(status)) {
        r.outcome = Outcome::Passing;
        r.message = said.isEmpty() ? QStringLiteral("сервер занят (код %1)").arg(status) : said;
        bool ok = false;
        const int after = m_reply->rawHeader("Retry-After").trimmed().toInt(&ok);
        r.retryAfterSeconds = ok ? qBound(0, after, 300) : 0;
        return r;
    }
    r.outcome = Outcome::Final;
    r.message = said.isEmpty() ? QStringLiteral("отказ (код %1)").arg(status) : said;
    return r;
}

} // namespace classclient
