#include "FakeHttpServer.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

namespace tavrenhold::test {

bool FakeHttpServer::Request::has(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QByteArray FakeHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QList<QByteArray> FakeHttpServer::Request::headerNames() const
{
    QList<QByteArray> names;
    for (const auto &h : headers)
        names << h.first.toLower();
    return names;
}

FakeHttpServer::Tls FakeHttpServer::makeCertificate(const QString &folder)
{
    Tls tls{folder + QStringLiteral("/cert.pem"), folder + QStringLiteral("/key.pem")};
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", tls.keyFile, "-out", tls.certificateFile, "-days",
            "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        return {};
    return tls;
}

FakeHttpServer::FakeHttpServer(QObject *parent) : QObject(parent), m_server(std::make_unique<QTcpServer>()) {}

FakeHttpServer::FakeHttpServer(const Tls &tls, QObject *parent) : QObject(parent), m_tls(true)
{
    auto server = std::make_unique<QSslServer>();
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QFile cert(tls.certificateFile), key(tls.keyFile);
    if (cert.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) {
        config.setLocalCertificate(QSslCertificate(cert.readAll(), QSsl::Pem));
        config.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa, QSsl::Pem));
    }
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(config);
    m_server = std::move(server);
}

FakeHttpServer::~FakeHttpServer() = default;

bool FakeHttpServer::listen()
{
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &FakeHttpServer::accept);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 FakeHttpServer::port() const { return m_server->serverPort(); }

QString FakeHttpServer::origin() const
{
    return (m_tls ? QStringLiteral("https://127.0.0.1:") : QStringLiteral("http://127.0.0.1:")) + QString::number(port());
}

void FakeHttpServer::on(const QByteArray &path, Answer answer) { m_answers[path] = {std::move(answer)}; }

void FakeHttpServer::on(const QByteArray &path, QList<Answer> answers) { m_answers[path] = std::move(answers); }

void FakeHttpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            serve(socket);
    }
}

FakeHttpServer::Answer FakeHttpServer::answerFor(const Request &request)
{
    if (m_handler)
        if (auto answer = m_handler(request))
            return *answer;
    auto it = m_answers.find(request.path());
    if (it == m_answers.end() || it->isEmpty())
        return Answer{404, "not found"};
    if (it->size() > 1)
        return it->takeFirst();
    return it->first();
}

void FakeHttpServer::serve(QTcpSocket *socket)
{
    if (socket->property("served").toBool())
        return;
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    Request request;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.target = first.value(1);
    qsizetype length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length = value.toLongLong();
    }
    if (buffer.size() < headEnd + 4 + length)
        return;
    request.body = buffer.mid(headEnd + 4, length);
    socket->setProperty("served", true);
    m_requests.append(request);
    const Answer answer = answerFor(request);
    Q_EMIT requestReceived();
    if (answer.hang)
        return;
    if (answer.garbage) {
        socket->write("SSH-2.0-not-http\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n";
    for (const auto &h : answer.headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n";
    out += answer.body;
    socket->write(out);
    socket->disconnectFromHost();
}

} // namespace tavrenhold::test
