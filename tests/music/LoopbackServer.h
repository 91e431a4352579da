#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace tavrenhold::test {

// A small HTTP server on 127.0.0.1 for artwork downloads: each path answers as the test set it up,
// and every request is counted by path.
class LoopbackServer final : public QTcpServer {
public:
    enum class Mode { ok, notFound, empty, drop, oversized, hold };
    struct Route {
        Mode mode = Mode::ok;
        QByteArray body;
    };

    LoopbackServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                accept(socket);
        });
    }

    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }
    void route(const QString &path, Mode mode, QByteArray body = {}) { m_routes.insert(path, {mode, std::move(body)}); }
    [[nodiscard]] int requests(const QString &path) const { return m_counts.value(path); }
    [[nodiscard]] int held() const { return int(m_held.size()); }
    // Answers every held request with its body.
    void release()
    {
        for (auto &[socket, body] : std::exchange(m_held, {}))
            if (socket)
                answer(socket, 200, body);
    }

private:
    void accept(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray &buffer = m_buffers[socket];
            buffer += socket->readAll();
            const int end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> line = buffer.left(buffer.indexOf("\r\n")).split(' ');
            m_buffers.remove(socket);
            const QString path = line.size() > 1 ? QString::fromLatin1(line[1]) : QString();
            m_counts[path] += 1;
            const Route route = m_routes.value(path, Route{Mode::notFound, {}});
            switch (route.mode) {
            case Mode::ok:
                answer(socket, 200, route.body);
                break;
            case Mode::notFound:
                answer(socket, 404, "missing");
                break;
            case Mode::empty:
                answer(socket, 200, {});
                break;
            case Mode::drop:
                socket->abort();
                break;
            case Mode::oversized:
                answer(socket, 200, QByteArray(9 * 1024 * 1024, 'x'));
                break;
            case Mode::hold:
                m_held.append({QPointer(socket), route.body});
                break;
            }
        });
    }
    static void answer(QTcpSocket *socket, int status, const QByteArray &body)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found")
                          + "\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n";
        socket->write(head + body);
        socket->disconnectFromHost();
    }

    QHash<QString, Route> m_routes;
    QHash<QString, int> m_counts;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<std::pair<QPointer<QTcpSocket>, QByteArray>> m_held;
};

} // namespace tavrenhold::test
