#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace tavrenhold::test {

// An HTTP/1.1 server on 127.0.0.1 (plain, or TLS with a certificate made by openssl) that answers
// from a script and records every request it got. One request per connection.
class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query, as sent
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        [[nodiscard]] QByteArray path() const { return target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')); }
        [[nodiscard]] QByteArray query() const { return target.indexOf('?') < 0 ? QByteArray() : target.mid(target.indexOf('?') + 1); }
        [[nodiscard]] bool has(const QByteArray &name) const;
        [[nodiscard]] QByteArray header(const QByteArray &name) const;
        // Header names in the order they came, lower-cased.
        [[nodiscard]] QList<QByteArray> headerNames() const;
    };

    struct Answer {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers = {};
        bool hang = false;    // never answer
        bool garbage = false; // answer with bytes that are not HTTP, then close

        static Answer json(QByteArray body, int status = 200)
        {
            return Answer{status, std::move(body), {{"Content-Type", "application/json"}}};
        }
        static Answer redirect(int status, QByteArray location)
        {
            return Answer{status, {}, {{"Location", std::move(location)}}};
        }
    };

    // The PEM certificate and key a TLS server uses; made once per run in a temporary folder.
    struct Tls {
        QString certificateFile;
        QString keyFile;
    };
    // Makes a self-signed certificate for 127.0.0.1 with openssl; empty files on failure.
    [[nodiscard]] static Tls makeCertificate(const QString &folder);

    explicit FakeHttpServer(QObject *parent = nullptr);
    FakeHttpServer(const Tls &tls, QObject *parent = nullptr);
    ~FakeHttpServer() override;

    // Listens on 127.0.0.1 on a free port.
    [[nodiscard]] bool listen();
    [[nodiscard]] quint16 port() const;
    // "http://127.0.0.1:<port>" or "https://…".
    [[nodiscard]] QString origin() const;

    // The answer for a path (query ignored); answers queued for one path are given in turn, the last
    // one again and again. Paths without an answer get 404.
    void on(const QByteArray &path, Answer answer);
    void on(const QByteArray &path, QList<Answer> answers);
    // Decides every answer itself, before the per-path answers.
    void setHandler(std::function<std::optional<Answer>(const Request &)> handler) { m_handler = std::move(handler); }

    [[nodiscard]] const QList<Request> &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

Q_SIGNALS:
    void requestReceived();

private:
    void accept();
    void serve(QTcpSocket *socket);
    Answer answerFor(const Request &request);

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    QMap<QByteArray, QList<Answer>> m_answers;
    std::function<std::optional<Answer>(const Request &)> m_handler;
    QList<Request> m_requests;
};

} // namespace tavrenhold::test
