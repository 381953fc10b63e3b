#pragma once
// A scripted HTTP server for the window's network tests, on 127.0.0.1 and a
// free port, living in the test's thread: it serves while the window runs a
// local event loop or the test waits. Header-only, so each test program that
// includes it needs no build changes.

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

class LoopbackHttpServer {
public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QByteArray version;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QByteArray raw;

        // The value of the first field named `name` (any case), or a null array.
        QByteArray header(const QByteArray& name) const
        {
            for (const auto& field : headers)
                if (field.first.compare(name, Qt::CaseInsensitive) == 0)
                    return field.second;
            return {};
        }
    };

    struct Reply {
        // SendThenStall writes the bytes and keeps the connection open.
        enum Action { Send, SendThenStall, Close, Stall };
        Action action = Send;
        QByteArray bytes;
    };
    using Handler = std::function<Reply(const Request&)>;

    // A whole response with a Content-Length field.
    static Reply ok(const QByteArray& body, int status = 200)
    {
        return {Reply::Send, "HTTP/1.0 " + QByteArray::number(status) + " X\r\nContent-Length: "
                                 + QByteArray::number(body.size()) + "\r\n\r\n" + body};
    }

    // Without a handler every request gets an empty 200 answer.
    explicit LoopbackHttpServer(Handler handler = {})
        : m_handler(std::move(handler))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                m_sockets.append(socket);
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket, buffer] { readFrom(socket, *buffer); });
            }
        });
    }

    ~LoopbackHttpServer() { closeAll(); }

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    const Handler& handler() const { return m_handler; }
    quint16 port() const { return m_server.serverPort(); }
    // For VARNEL_UPDATE_SERVER.
    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(port()); }

    // Drops every connection (a stalled client then sees the server close)
    // and, with `stopListening`, the listening socket too.
    void closeAll(bool stopListening = false)
    {
        for (QTcpSocket* socket : m_sockets)
            if (socket) {
                socket->abort();
                socket->deleteLater();
            }
        m_sockets.clear();
        if (stopListening)
            m_server.close();
    }

    QList<Request> requests;
    int connections = 0;

private:
    void readFrom(QTcpSocket* socket, QByteArray& buffer)
    {
        buffer += socket->readAll();
        // The kit's own client ends lines with a bare line feed.
        int end = buffer.indexOf("\r\n\r\n");
        int skip = 4;
        const int lf = buffer.indexOf("\n\n");
        if (lf >= 0 && (end < 0 || lf < end)) {
            end = lf;
            skip = 2;
        }
        if (end < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        request.version = first.value(2);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        const qsizetype length = request.header("Content-Length").toLongLong();
        if (buffer.size() < end + skip + length)
            return;
        request.body = buffer.mid(end + skip, length);
        request.raw = buffer.left(end + skip + length);
        buffer.remove(0, end + skip + length);
        requests.append(request);

        const Reply reply = m_handler ? m_handler(request) : ok(QByteArray());
        if (reply.action == Reply::Stall)
            return;
        if (reply.action == Reply::Send || reply.action == Reply::SendThenStall) {
            socket->write(reply.bytes);
            if (reply.action == Reply::Send)
                socket->disconnectFromHost();
        } else {
            socket->abort();
        }
    }

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    Handler m_handler;
};
