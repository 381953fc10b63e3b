#include "app/services/FormPoster.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

FormPoster::FormPoster(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    // The kit talks to its server directly, as its own GET client does.
    m_network->setProxy(QNetworkProxy::NoProxy);
    connect(m_network, &QNetworkAccessManager::finished, this, &FormPoster::replyFinished);
}

FormPoster::~FormPoster()
{
    // Aborting the replies below emits finished(); nobody may hear it from
    // a half-destroyed window.
    disconnect(m_network, nullptr, this, nullptr);
    const QList<QNetworkReply*> replies = m_pending.keys();
    m_pending.clear();
    for (QNetworkReply* reply : replies)
        reply->abort();
}

int FormPoster::post(Kind kind, const QByteArray& path, const QByteArray& body)
{
    const int id = ++m_lastId;
    const QString host = QString::fromStdString(Brask::updateServerHost());
    const int port = Brask::updateServerPort();
    if (host.isEmpty() || port <= 0) {
        // An unusable VARNEL_UPDATE_SERVER: the post fails like an unreachable
        // server would, later, through finished().
        QMetaObject::invokeMethod(this, [this, kind, id] { emit finished(kind, true, id); }, Qt::QueuedConnection);
        return id;
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port);
    url.setPath(QString::fromLatin1(path));

    QNetworkRequest request(url);
    request.setRawHeader("Host", host.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(TransferTimeoutMilliseconds);
    QNetworkReply* reply = m_network->post(request, body);
    m_pending.insert(reply, Pending{kind, id});
    return id;
}

void FormPoster::cancel(int id)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it.value().id == id) {
            // Out of the table first: the abort's own finished() is not a report.
            QNetworkReply* reply = it.key();
            m_pending.erase(it);
            reply->abort();
            return;
        }
    }
}

void FormPoster::replyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    const auto found = m_pending.constFind(reply);
    if (found == m_pending.constEnd())
        return;
    const Pending pending = found.value();
    m_pending.erase(found);
    emit finished(pending.kind, reply->error() != QNetworkReply::NoError, pending.id);
}
