// labels: unit
// The shared request operation against fake servers on 127.0.0.1 (statuses, web pages, time-out,
// redirects that must not carry credentials, header injection, TLS trusted through caFile), the
// JSON readers, the query builder, the Cookie header and the endpoints file.
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "UsageTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace tavrenhold;
using namespace std::chrono_literals;
using tavrenhold::test::FakeHttpServer;
using tavrenhold::test::ManualClock;
using Answer = FakeHttpServer::Answer;

using Pairs = QList<QPair<QString, QString>>;
Q_DECLARE_METATYPE(FakeHttpServer::Answer)
Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<QDateTime>)

namespace {

using DataResult = Result<QByteArray, UsageFailure>;

QJsonValue jsonOf(const QByteArray &text)
{
    // A one-element array lets scalars through QJsonDocument.
    return QJsonDocument::fromJson("[" + text + "]").array().first();
}

// The request a client would send, with every credential header a vendor gets.
QNetworkRequest credentialRequest(const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Cookie", "sessionKey=sk-secret");
    request.setRawHeader("Authorization", "Bearer token-secret");
    request.setRawHeader("ChatGPT-Account-Id", "acct-secret");
    request.setRawHeader("x-xai-token-auth", "xai-grok-cli");
    request.setRawHeader("Referer", "https://example.invalid/usage");
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("User-Agent", UsageHTTP::browserUserAgent.toUtf8());
    return request;
}

// A vendor on 127.0.0.1 that answers every request with `head`, then `size` bytes of body written
// as the socket takes them (raw, or as chunks of chunked encoding), and then closes the
// connection or holds it open for ever. Counts what it has written.
class StreamingServer : public QObject {
public:
    QByteArray head;
    qint64 size = 0;
    bool chunked = false;
    bool close = false;
    qint64 written = 0;

    bool listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n") || socket->property("answered").toBool())
                        return;
                    socket->setProperty("answered", true);
                    socket->write(head);
                    pump(socket);
                });
                connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] { pump(socket); });
            }
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    [[nodiscard]] QString url() const { return QStringLiteral("http://127.0.0.1:%1/usage").arg(m_server.serverPort()); }

private:
    void pump(QTcpSocket *socket)
    {
        if (!socket->property("answered").toBool() || socket->bytesToWrite() > 256 * 1024)
            return;
        const qint64 left = size - socket->property("sent").toLongLong();
        if (left <= 0) {
            if (close && !socket->property("closed").toBool()) {
                socket->setProperty("closed", true);
                if (chunked)
                    socket->write("0\r\n\r\n");
                socket->disconnectFromHost();
            }
            return;
        }
        const qint64 n = std::min<qint64>(left, 64 * 1024);
        const QByteArray piece(n, 'a');
        socket->write(chunked ? QByteArray::number(n, 16) + "\r\n" + piece + "\r\n" : piece);
        socket->setProperty("sent", socket->property("sent").toLongLong() + n);
        written += n;
    }
    QTcpServer m_server;
};

const QList<QByteArray> credentialHeaders{"cookie", "authorization", "chatgpt-account-id", "x-xai-token-auth", "referer"};

} // namespace

class UsageHttpTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    FakeHttpServer m_server;
    FakeHttpServer m_other; // a second origin: another port
    QTemporaryDir m_dir;

    DataResult get(const QString &path, UsageVendor vendor = UsageVendor::anthropic)
    {
        return tavrenhold::test::finish(UsageHTTP::data(credentialRequest(m_server.origin() + path), vendor, {m_network}));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        QVERIFY(m_other.listen());
        QVERIFY(m_dir.isValid());
    }
    void init()
    {
        m_server.clearRequests();
        m_other.clearRequests();
    }

    void status_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QVariant>("expected"); // QByteArray body, or the error text
        const QString signedOut = QStringLiteral("Anthropic session expired. Sign in again in Settings \u203A AI Usage.");
        QTest::newRow("200 json") << Answer::json(R"({"a":1})") << QVariant(QByteArray(R"({"a":1})"));
        QTest::newRow("204 empty") << Answer{204, {}} << QVariant(QByteArray());
        QTest::newRow("only blanks") << Answer{200, " \t\r\n"} << QVariant(QByteArray(" \t\r\n"));
        QTest::newRow("403 with json") << Answer::json(R"({"error":"x"})", 403) << QVariant(signedOut);
        QTest::newRow("401") << Answer{401, {}} << QVariant(signedOut);
        QTest::newRow("404") << Answer{404, "{}"} << QVariant(QStringLiteral("Anthropic usage returned HTTP 404."));
        QTest::newRow("500") << Answer{500, {}} << QVariant(QStringLiteral("Anthropic usage returned HTTP 500."));
        QTest::newRow("web page after blanks") << Answer{200, "\n  <!doctype html><html></html>"} << QVariant(signedOut);
        QTest::newRow("json after blanks") << Answer{200, "  {\"a\":1}"} << QVariant(QByteArray("  {\"a\":1}"));
        QTest::newRow("byte-order mark then <")
            << Answer{200, "\xEF\xBB\xBF<html>"} << QVariant(QByteArray("\xEF\xBB\xBF<html>"));
        QTest::newRow("redirect without address") << Answer{302, {}}
                                                  << QVariant(QStringLiteral("Anthropic usage returned HTTP 302."));
        QTest::newRow("not HTTP") << Answer{200, {}, {}, false, true}
                                  << QVariant(QStringLiteral("The network connection was lost."));
    }
    void status()
    {
        QFETCH(Answer, answer);
        QFETCH(QVariant, expected);
        m_server.on("/status", answer);
        const DataResult result = get(QStringLiteral("/status"));
        if (expected.typeId() == QMetaType::QByteArray) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : describe(result.error())));
            QCOMPARE(result.value(), expected.toByteArray());
        } else {
            QVERIFY(!result.ok());
            QCOMPARE(describe(result.error()), expected.toString());
        }
    }

    void timeOut()
    {
        // Whatever the caller set, the request gives up after 20 s on the injected clock, with our
        // own text rather than a silent cancellation.
        m_server.on("/slow", Answer{200, {}, {}, true});
        ManualClock clock;
        QNetworkRequest request = credentialRequest(m_server.origin() + "/slow");
        request.setTransferTimeout(60000);
        auto task = UsageHTTP::data(request, UsageVendor::openai, {m_network, clock});
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().size(), 1, 10000);
        clock.advance(19999ms);
        QVERIFY(!task.isReady());
        clock.advance(1ms);
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        const DataResult result = tavrenhold::test::finish(std::move(task));
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), UsageFailure(UsageTransportError{QStringLiteral("The request timed out.")}));
    }

    void cancellation()
    {
        m_server.on("/slow", Answer{200, {}, {}, true});
        ManualClock clock;
        CancelToken token;
        auto task = UsageHTTP::data(credentialRequest(m_server.origin() + "/slow"), UsageVendor::openai,
            {m_network, clock, token});
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().size(), 1, 10000);
        token.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        const DataResult result = tavrenhold::test::finish(std::move(task));
        QVERIFY(!result.ok());
        QVERIFY(isCancellation(result.error()));
        QCOMPARE(clock.sleepers(), 0); // the time-out watch ended with the request
    }

    void sameOriginRedirectKeepsRequest()
    {
        m_server.on("/from", Answer::redirect(302, "/to"));
        m_server.on("/to", Answer::json("{}"));
        const DataResult result = get(QStringLiteral("/from"));
        QVERIFY(result.ok());
        QCOMPARE(m_server.requests().size(), 2);
        const auto &second = m_server.requests()[1];
        QCOMPARE(second.path(), QByteArray("/to"));
        QCOMPARE(second.header("Cookie"), QByteArray("sessionKey=sk-secret"));
        QCOMPARE(second.header("Authorization"), QByteArray("Bearer token-secret"));
    }

    void otherOriginRedirectDropsCredentials_data()
    {
        QTest::addColumn<int>("status");
        for (int status : {301, 302, 303, 307, 308})
            QTest::newRow(qPrintable(QString::number(status))) << status;
    }
    void otherOriginRedirectDropsCredentials()
    {
        QFETCH(int, status);
        m_server.on("/from", Answer::redirect(status, (m_other.origin() + "/landing?x=1").toUtf8()));
        m_other.on("/landing", Answer::json(R"({"ok":true})"));
        const DataResult result = get(QStringLiteral("/from"));
        QVERIFY(result.ok());
        QCOMPARE(result.value(), QByteArray(R"({"ok":true})"));
        QCOMPARE(m_other.requests().size(), 1);
        const auto &landed = m_other.requests().first();
        QCOMPARE(landed.target, QByteArray("/landing?x=1"));
        for (const QByteArray &name : credentialHeaders)
            QVERIFY2(!landed.has(name), name.constData());
        QCOMPARE(landed.header("Accept"), QByteArray("application/json"));
        QCOMPARE(landed.header("User-Agent"), UsageHTTP::browserUserAgent.toUtf8());
    }

    void postRedirects_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("303 turns into GET") << 303 << QByteArray("GET") << QByteArray();
        QTest::newRow("302 turns into GET") << 302 << QByteArray("GET") << QByteArray();
        QTest::newRow("307 keeps POST") << 307 << QByteArray("POST") << QByteArray("a=1");
    }
    void postRedirects()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, body);
        m_server.on("/form", Answer::redirect(status, "/after"));
        m_server.on("/after", Answer::json("{}"));
        QNetworkRequest request(QUrl(m_server.origin() + "/form"));
        request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
        const DataResult result = tavrenhold::test::finish(
            UsageHTTP::data(request, UsageVendor::copilot, {m_network}, "POST", QByteArrayLiteral("a=1")));
        QVERIFY(result.ok());
        QCOMPARE(m_server.requests().size(), 2);
        QCOMPARE(m_server.requests()[1].method, method);
        QCOMPARE(m_server.requests()[1].body, body);
    }

    void redirectLimits()
    {
        // Eleven hops are one too many.
        for (int i = 0; i < 11; ++i)
            m_server.on("/hop" + QByteArray::number(i), Answer::redirect(302, "/hop" + QByteArray::number(i + 1)));
        m_server.on("/hop11", Answer::json("{}"));
        DataResult result = get(QStringLiteral("/hop0"));
        QVERIFY(!result.ok());
        QCOMPARE(describe(result.error()), QStringLiteral("Too many redirects."));
        QCOMPARE(m_server.requests().size(), 11);

        m_server.clearRequests();
        m_server.on("/hop1", Answer::json("{}"));
        QVERIFY(get(QStringLiteral("/hop0")).ok()); // ten hops are fine
    }

    void httpsNeverRedirectsToHttp()
    {
        const auto tls = FakeHttpServer::makeCertificate(m_dir.path());
        QVERIFY(!tls.certificateFile.isEmpty());
        FakeHttpServer secure(tls);
        QVERIFY(secure.listen());
        const QList<QSslCertificate> ca = QSslCertificate::fromPath(tls.certificateFile);
        UsageEndpoints endpoints;
        endpoints.caCertificates = ca;

        secure.on("/down", Answer::redirect(302, (m_other.origin() + "/plain").toUtf8()));
        m_other.on("/plain", Answer::json("{}"));
        DataResult result = tavrenhold::test::finish(UsageHTTP::data(
            endpoints.request(QUrl(secure.origin() + "/down")), UsageVendor::openai, {m_network}));
        QVERIFY(!result.ok());
        QVERIFY(std::holds_alternative<UsageTransportError>(result.error()));
        QCOMPARE(m_other.requests().size(), 0);
    }

    void tlsTrustedThroughCaFile()
    {
        const auto tls = FakeHttpServer::makeCertificate(m_dir.path());
        // Two servers: Qt keeps a connection per host and port, whatever the trust it was made with.
        FakeHttpServer secure(tls), unknown(tls);
        QVERIFY(secure.listen());
        QVERIFY(unknown.listen());
        secure.on("/usage", Answer::json(R"({"tls":1})"));
        unknown.on("/usage", Answer::json(R"({"tls":1})"));

        // Not trusted without the file: a transport failure with our own text, no address in it.
        DataResult untrusted = tavrenhold::test::finish(
            UsageHTTP::data(QNetworkRequest(QUrl(unknown.origin() + "/usage")), UsageVendor::openai, {m_network}));
        QVERIFY(!untrusted.ok());
        QCOMPARE(describe(untrusted.error()), QStringLiteral("A secure connection to the server could not be made."));

        QFile file(m_dir.filePath("endpoints.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{"caFile", tls.certificateFile}}).toJson());
        file.close();
        QStringList problems;
        const UsageEndpoints endpoints = UsageEndpoints::fromFile(file.fileName(), &problems);
        QCOMPARE(problems, QStringList());
        DataResult trusted = tavrenhold::test::finish(
            UsageHTTP::data(endpoints.request(QUrl(secure.origin() + "/usage")), UsageVendor::openai, {m_network}));
        QVERIFY2(trusted.ok(), qPrintable(trusted.ok() ? QString() : describe(trusted.error())));
        QCOMPARE(trusted.value(), QByteArray(R"({"tls":1})"));
    }

    void headerInjection_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("CR LF") << QByteArray("sk\r\nX-Injected: 1");
        QTest::newRow("LF") << QByteArray("sk\nX-Injected: 1");
        QTest::newRow("NUL") << QByteArray("sk\0rest", 7);
    }
    void headerInjection()
    {
        QFETCH(QByteArray, value);
        m_server.on("/usage", Answer::json("{}"));
        QNetworkRequest request = credentialRequest(m_server.origin() + "/usage");
        request.setRawHeader("Cookie", "sessionKey=" + value);
        const DataResult result = tavrenhold::test::finish(UsageHTTP::data(request, UsageVendor::google, {m_network}));
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::google)));
        QTest::qWait(50);
        QCOMPARE(m_server.requests().size(), 0);
    }

    // An answer past the bound is given up as soon as it passes it, with our text, whether its
    // length is declared, streamed until the connection closes, or chunked; the server then holds
    // the connection open, so only the bound (not the time-out, on a clock nobody moves) can end
    // the request. An answer of exactly the bound comes through whole.
    void bodyBound_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("chunked");
        QTest::addColumn<bool>("close");
        QTest::addColumn<bool>("fits");
        const qint64 bound = UsageHTTP::maxBodyBytes;
        const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
        QTest::newRow("declares 1 GiB, sends nothing")
            << ok + "Content-Length: 1073741824\r\n\r\n" << qint64(0) << false << false << false;
        QTest::newRow("declares 1 GiB, sends past the bound")
            << ok + "Content-Length: 1073741824\r\n\r\n" << bound + 1024 * 1024 << false << false << false;
        QTest::newRow("no length, past the bound")
            << ok + "Connection: close\r\n\r\n" << bound + 1024 * 1024 << false << false << false;
        QTest::newRow("chunked, past the bound")
            << ok + "Transfer-Encoding: chunked\r\n\r\n" << bound + 1024 * 1024 << true << false << false;
        QTest::newRow("exactly the bound")
            << ok + "Content-Length: " + QByteArray::number(bound) + "\r\nConnection: close\r\n\r\n" << bound << false
            << true << true;
    }
    void bodyBound()
    {
        QFETCH(QByteArray, head);
        QFETCH(qint64, size);
        QFETCH(bool, chunked);
        QFETCH(bool, close);
        QFETCH(bool, fits);
        StreamingServer vendor;
        vendor.head = head;
        vendor.size = size;
        vendor.chunked = chunked;
        vendor.close = close;
        QVERIFY(vendor.listen());
        ManualClock clock;
        auto task = UsageHTTP::data(QNetworkRequest(QUrl(vendor.url())), UsageVendor::cursor, {m_network, clock});
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 30000);
        const DataResult result = tavrenhold::test::finish(std::move(task));
        if (fits) {
            QVERIFY(result.ok());
            QCOMPARE(result.value().size(), UsageHTTP::maxBodyBytes);
            return;
        }
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), UsageFailure(UsageTransportError{UsageHTTP::tooLargeText}));
        // Given up near the bound, not read to the end.
        QVERIFY(vendor.written <= UsageHTTP::maxBodyBytes + 1024 * 1024);
    }

    // A redirect to another origin never carries the body on: 307 and 308 (which would resend it)
    // fail with our text before anything reaches the second origin; 302 and 303 go on as a GET
    // without a body.
    void otherOriginRedirectOfABody_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("refused");
        QTest::newRow("307") << 307 << true;
        QTest::newRow("308") << 308 << true;
        QTest::newRow("302") << 302 << false;
        QTest::newRow("303") << 303 << false;
    }
    void otherOriginRedirectOfABody()
    {
        QFETCH(int, status);
        QFETCH(bool, refused);
        m_server.on("/login/oauth/access_token", Answer::redirect(status, (m_other.origin() + "/collect").toUtf8()));
        m_other.on("/collect", Answer::json("{}"));
        QNetworkRequest request(QUrl(m_server.origin() + "/login/oauth/access_token"));
        request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
        const DataResult result = tavrenhold::test::finish(UsageHTTP::data(request, UsageVendor::copilot, {m_network},
            "POST", QByteArrayLiteral("client_id=cid&device_code=dc")));
        QCOMPARE(m_server.requests().size(), 1);
        if (refused) {
            QVERIFY(!result.ok());
            QCOMPARE(result.error(), UsageFailure(UsageTransportError{UsageHTTP::redirectedDataText}));
            QTest::qWait(50);
            QCOMPARE(m_other.requests().size(), 0);
            return;
        }
        QVERIFY(result.ok());
        QCOMPARE(m_other.requests().size(), 1);
        QCOMPARE(m_other.requests().first().method, QByteArray("GET"));
        QVERIFY(m_other.requests().first().body.isEmpty());
    }

    void connectionRefused()
    {
        // A port nobody listens on: our text, never Qt's (which names the address).
        quint16 port;
        {
            FakeHttpServer gone;
            QVERIFY(gone.listen());
            port = gone.port();
        }
        const DataResult result = tavrenhold::test::finish(UsageHTTP::data(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(port))), UsageVendor::xai, {m_network}));
        QVERIFY(!result.ok());
        QCOMPARE(describe(result.error()), QStringLiteral("Could not connect to the server."));
    }

    void number_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<std::optional<double>>("expected");
        QTest::addColumn<bool>("finite");
        QTest::newRow("number") << QByteArray("12.5") << std::optional(12.5) << true;
        QTest::newRow("text") << QByteArray(R"("12.5")") << std::optional(12.5) << true;
        QTest::newRow("text with sign and exponent") << QByteArray(R"("-1e2")") << std::optional(-100.0) << true;
        QTest::newRow("hex float text") << QByteArray(R"("0x1p3")") << std::optional(8.0) << true;
        QTest::newRow("leading space") << QByteArray(R"(" 12.5")") << std::optional<double>() << false;
        QTest::newRow("trailing space") << QByteArray(R"("12.5 ")") << std::optional<double>() << false;
        QTest::newRow("percent") << QByteArray(R"("12.5%")") << std::optional<double>() << false;
        QTest::newRow("thousands") << QByteArray(R"("1,000")") << std::optional<double>() << false;
        QTest::newRow("comma decimal") << QByteArray(R"("12,5")") << std::optional<double>() << false;
        QTest::newRow("empty text") << QByteArray(R"("")") << std::optional<double>() << false;
        QTest::newRow("true") << QByteArray("true") << std::optional(1.0) << true;
        QTest::newRow("false") << QByteArray("false") << std::optional(0.0) << true;
        QTest::newRow("null") << QByteArray("null") << std::optional<double>() << false;
        QTest::newRow("object") << QByteArray("{}") << std::optional<double>() << false;
        QTest::newRow("array") << QByteArray("[1]") << std::optional<double>() << false;
        QTest::newRow("inf text") << QByteArray(R"("inf")") << std::optional(HUGE_VAL) << false;
        QTest::newRow("huge number") << QByteArray("1e400") << std::optional<double>() << false;
    }
    void number()
    {
        QFETCH(QByteArray, json);
        QFETCH(std::optional<double>, expected);
        QFETCH(bool, finite);
        QCOMPARE(UsageHTTP::number(jsonOf(json)), expected);
        QCOMPARE(UsageHTTP::figure(jsonOf(json)).has_value(), finite);
    }

    void nanText()
    {
        // The reader passes "nan" as the Part says; figure() drops it.
        const auto n = UsageHTTP::number(QJsonValue(QStringLiteral("nan")));
        QVERIFY(n && std::isnan(*n));
        QVERIFY(!UsageHTTP::figure(QJsonValue(QStringLiteral("nan"))));
        QVERIFY(!UsageHTTP::number(QJsonValue(QJsonValue::Undefined)));
        QVERIFY(!UsageHTTP::date(QJsonValue(QStringLiteral("nan"))));
        QVERIFY(!UsageHTTP::date(QJsonValue(QStringLiteral("inf"))));
    }

    void date_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<std::optional<QDateTime>>("expected");
        auto utc = [](int y, int mo, int d, int h, int mi, int s, int ms = 0) {
            return std::optional(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC));
        };
        QTest::newRow("fraction Z") << QByteArray(R"("2025-06-01T12:30:00.250Z")") << utc(2025, 6, 1, 12, 30, 0, 250);
        QTest::newRow("Z") << QByteArray(R"("2025-06-01T12:30:00Z")") << utc(2025, 6, 1, 12, 30, 0);
        QTest::newRow("offset") << QByteArray(R"("2025-06-01T12:30:00+02:00")") << utc(2025, 6, 1, 10, 30, 0);
        QTest::newRow("full date") << QByteArray(R"("2025-06-01")") << utc(2025, 6, 1, 0, 0, 0);
        QTest::newRow("no zone") << QByteArray(R"("2025-06-01T12:30:00")") << std::optional<QDateTime>();
        QTest::newRow("offset without colon") << QByteArray(R"("2025-06-01T12:30:00+0200")") << std::optional<QDateTime>();
        QTest::newRow("space separator") << QByteArray(R"("2025-06-01 12:30:00Z")") << std::optional<QDateTime>();
        QTest::newRow("no such day") << QByteArray(R"("2025-02-30")") << std::optional<QDateTime>();
        QTest::newRow("word") << QByteArray(R"("soon")") << std::optional<QDateTime>();
        QTest::newRow("seconds") << QByteArray("1700000000") << utc(2023, 11, 14, 22, 13, 20);
        QTest::newRow("milliseconds") << QByteArray("1700000000000") << utc(2023, 11, 14, 22, 13, 20);
        QTest::newRow("seconds text") << QByteArray(R"("1700000000")") << utc(2023, 11, 14, 22, 13, 20);
        QTest::newRow("1e10 is seconds") << QByteArray("10000000000") << utc(2286, 11, 20, 17, 46, 40);
        QTest::newRow("zero") << QByteArray("0") << std::optional<QDateTime>();
        QTest::newRow("negative") << QByteArray("-5") << std::optional<QDateTime>();
        QTest::newRow("beyond any date") << QByteArray("1e300") << std::optional<QDateTime>();
        QTest::newRow("beyond any date text") << QByteArray(R"("1e30")") << std::optional<QDateTime>();
        QTest::newRow("null") << QByteArray("null") << std::optional<QDateTime>();
    }
    void date()
    {
        QFETCH(QByteArray, json);
        QFETCH(std::optional<QDateTime>, expected);
        QCOMPARE(UsageHTTP::date(jsonOf(json)), expected);
    }

    void query_data()
    {
        QTest::addColumn<Pairs>("pairs");
        QTest::addColumn<QString>("expected");
        QTest::newRow("reserved") << Pairs{{"a b", "x/y=z"}} << "a%20b=x%2Fy%3Dz";
        QTest::newRow("unreserved kept") << Pairs{{"k", "-._~"}} << "k=-._~";
        QTest::newRow("accented letter kept") << Pairs{{"n", "caf\u00E9"}} << "n=caf\u00E9";
        QTest::newRow("two pairs in order")
            << Pairs{{"z", "1"}, {"a", "2"}} << "z=1&a=2";
        QTest::newRow("empty value") << Pairs{{"e", ""}} << "e=";
        QTest::newRow("json") << Pairs{{"v", R"({"a":[1]})"}} << "v=%7B%22a%22%3A%5B1%5D%7D";
        QTest::newRow("emoji is utf-8") << Pairs{{"e", "\U0001F600"}} << "e=%F0%9F%98%80";
        QTest::newRow("duplicates kept")
            << Pairs{{"a", "1"}, {"a", "1"}} << "a=1&a=1";
    }
    void query()
    {
        QFETCH(Pairs, pairs);
        QFETCH(QString, expected);
        QCOMPARE(UsageHTTP::query(pairs), expected);
    }

    void cookieHeader_data()
    {
        QTest::addColumn<UsageSession>("session");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sorted, marker left out")
            << UsageSession{{"b", "2"}, {"a", "1"}, {"__tavrenhold_probe", "x"}} << "a=1; b=2";
        QTest::newRow("empty") << UsageSession{} << "";
        QTest::newRow("only marker") << UsageSession{{"__tavrenholdX", "1"}} << "";
        QTest::newRow("values unencoded") << UsageSession{{"SID", "a b;c"}} << "SID=a b;c";
        QTest::newRow("upper before lower") << UsageSession{{"a", "1"}, {"B", "2"}} << "B=2; a=1";
    }
    void cookieHeader()
    {
        QFETCH(UsageSession, session);
        QFETCH(QString, expected);
        QCOMPARE(tavrenhold::cookieHeader(session), expected);
    }

    void userAgent() { QCOMPARE(UsageHTTP::browserUserAgent.size(), 117); }

    void endpointsFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("openaiWeb");
        QTest::addColumn<QString>("xaiDownload");
        QTest::addColumn<int>("problems");
        const QString defaultWeb = UsageEndpoints{}.openaiWeb;
        const QString defaultDownload = UsageEndpoints{}.xaiDownload;
        QTest::newRow("overrides") << QByteArray("{\"openai.web\":\"http://127.0.0.1:8123\",\"xai.download\":\"127.0.0.1/cli\"}")
                                   << "http://127.0.0.1:8123" << "127.0.0.1/cli" << 0;
        QTest::newRow("trailing slash dropped") << QByteArray("{\"openai.web\":\"https://Example.org/\"}")
                                                << "https://example.org" << defaultDownload << 0;
        QTest::newRow("unknown key") << QByteArray("{\"openai.webb\":\"https://x.org\"}") << defaultWeb
                                     << defaultDownload << 1;
        QTest::newRow("path in origin") << QByteArray("{\"openai.web\":\"https://x.org/api\"}") << defaultWeb
                                        << defaultDownload << 1;
        QTest::newRow("other scheme") << QByteArray("{\"openai.web\":\"file:///etc\"}") << defaultWeb
                                      << defaultDownload << 1;
        QTest::newRow("not a text") << QByteArray("{\"openai.web\":5,\"xai.download\":\"https://x.ai/cli\"}")
                                    << defaultWeb << defaultDownload << 2;
        QTest::newRow("not an object") << QByteArray("[1]") << defaultWeb << defaultDownload << 1;
        QTest::newRow("not JSON") << QByteArray("{") << defaultWeb << defaultDownload << 1;
        QTest::newRow("missing caFile") << QByteArray(R"({"caFile":"/nonexistent.pem"})") << defaultWeb
                                        << defaultDownload << 1;
    }
    void endpointsFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, openaiWeb);
        QFETCH(QString, xaiDownload);
        QFETCH(int, problems);
        QFile f(m_dir.filePath("e.json"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(file);
        f.close();
        QStringList lines;
        const UsageEndpoints e = UsageEndpoints::fromFile(f.fileName(), &lines);
        QCOMPARE(e.openaiWeb, openaiWeb);
        QCOMPARE(e.xaiDownload, xaiDownload);
        QCOMPARE(lines.size(), problems);
        for (const QString &line : lines)
            QVERIFY(!line.contains(u'\n'));
    }
};

QTEST_GUILESS_MAIN(UsageHttpTest)
#include "tst_usagehttp.moc"
