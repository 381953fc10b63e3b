#pragma once
// Posts the feedback and invitation forms to the update server without
// blocking the window, and reports how each post ended.

#include "core/update/UpdateManager.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

class FormPoster : public QObject {
    Q_OBJECT
public:
    enum Kind { Invite, Feedback };

    // A post that has not finished after this long fails.
    static constexpr int TransferTimeoutMilliseconds = 30000;

    explicit FormPoster(QObject* parent = nullptr);
    // Pending posts are abandoned without a report.
    ~FormPoster() override;

    // Starts a POST of `body` (application/x-www-form-urlencoded) to `path` on
    // the update server (updateServerHost/updateServerPort, read now), with
    // the bare host as the Host field. Returns at once with the post's id;
    // finished() follows.
    int post(Kind kind, const QByteArray& path, const QByteArray& body);
    // Gives up the post `id` if it has not finished: no finished() follows.
    void cancel(int id);

    // Posts started and not finished yet.
    int pendingCount() const { return static_cast<int>(m_pending.size()); }

signals:
    // One per post not cancelled, in the order they end. `error` is true when
    // the post did not reach the server, timed out, or the server answered
    // with an error status.
    void finished(int kind, bool error, int id);

private:
    void replyFinished(QNetworkReply* reply);

    QNetworkAccessManager* m_network;
    struct Pending {
        Kind kind;
        int id;
    };
    // Each reply knows its own kind, so a second post started before the
    // first one ended cannot hide the first one's failure.
    QHash<QNetworkReply*, Pending> m_pending;
    int m_lastId = 0;
};
