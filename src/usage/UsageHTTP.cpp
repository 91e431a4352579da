#include "UsageHTTP.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QTimeZone>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <memory>

namespace tavrenhold {

namespace {

bool unsafeHeaders(const QNetworkRequest &request)
{
    auto unsafe = [](const QByteArray &b) {
        return b.contains('\r') || b.contains('\n') || b.contains('\0');
    };
    for (const QByteArray &name : request.rawHeaderList())
        if (unsafe(name) || unsafe(request.rawHeader(name)))
            return true;
    return false;
}

struct Origin {
    QString scheme;
    QString host;
    int port = -1;
    bool operator==(const Origin &) const = default;
};

Origin originOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return {scheme, url.host().toLower(), url.port(scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1)};
}

QString transportText(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::HostNotFoundError: return QStringLiteral("The server could not be found.");
    case QNetworkReply::ConnectionRefusedError: return QStringLiteral("Could not connect to the server.");
    case QNetworkReply::RemoteHostClosedError: return QStringLiteral("The network connection was lost.");
    case QNetworkReply::TimeoutError: return UsageHTTP::timedOutText;
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("A secure connection to the server could not be made.");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("The network connection appears to be offline.");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return QStringLiteral("The proxy server could not be reached.");
    default: return QStringLiteral("The request failed.");
    }
}

// Errors below HTTP: the answer, if any, is not to be judged.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && int(error) < 200;
}

QNetworkRequest prepared(QNetworkRequest request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(0); // our own timer decides
    return request;
}

// The request for a redirect target in another origin: the address, how it is sent, Accept and
// User-Agent; no credential header.
QNetworkRequest strangerRequest(const QNetworkRequest &from, const QUrl &to)
{
    QNetworkRequest request(to);
    request.setSslConfiguration(from.sslConfiguration());
    for (const QByteArray &name : {QByteArrayLiteral("Accept"), QByteArrayLiteral("User-Agent")})
        if (from.hasRawHeader(name))
            request.setRawHeader(name, from.rawHeader(name));
    return request;
}

struct Exchange {
    QPointer<QNetworkReply> reply;
    bool timedOut = false;
    bool cancelled = false;
};

QCoro::Task<> watchTimeout(Clock &clock, Millis timeout, CancelToken stop, std::shared_ptr<Exchange> exchange)
{
    const bool elapsed = co_await clock.sleepFor(timeout, stop);
    if (!elapsed)
        co_return;
    exchange->timedOut = true;
    if (exchange->reply)
        exchange->reply->abort();
}

constexpr int maxRedirects = 10;

QCoro::Task<Result<UsageResponse, UsageSendError>> exchangeAll(QNetworkRequest request, QByteArray verb,
    QByteArray body, UsageRequestContext context, std::shared_ptr<Exchange> exchange)
{
    using R = Result<UsageResponse, UsageSendError>;
    using K = UsageSendError::Kind;
    for (int hop = 0;; ++hop) {
        std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
            context.network.sendCustomRequest(prepared(request), verb, body),
            [](QNetworkReply *r) { r->deleteLater(); });
        exchange->reply = reply.get();
        // The body is held by the reply until it ends: past the bound (or a declared length past
        // it) the answer is given up at once, from the event loop rather than inside Qt's signal.
        auto tooLarge = std::make_shared<bool>(false);
        const auto guardSize = [reply = reply.get(), tooLarge] {
            if (*tooLarge)
                return;
            const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
            if (reply->bytesAvailable() <= UsageHTTP::maxBodyBytes
                && !(declared.isValid() && declared.toLongLong() > UsageHTTP::maxBodyBytes))
                return;
            *tooLarge = true;
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        };
        QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), guardSize);
        QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), guardSize);
        if (!reply->isFinished())
            co_await qCoro(reply.get()).waitForFinished();
        exchange->reply = nullptr;

        if (exchange->cancelled || context.token.isCancelled())
            co_return R::failure({K::cancelled, {}});
        if (*tooLarge)
            co_return R::failure({K::transport, UsageHTTP::tooLargeText});
        if (exchange->timedOut)
            co_return R::failure({K::transport, UsageHTTP::timedOutText});
        const QNetworkReply::NetworkError error = reply->error();
        if (error == QNetworkReply::OperationCanceledError)
            co_return R::failure({K::transport, UsageHTTP::timedOutText});
        if (isTransportError(error))
            co_return R::failure({K::transport, transportText(error)});
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!statusAttribute.isValid())
            co_return R::failure({K::notHTTP, {}});
        const int status = statusAttribute.toInt();

        const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        const QByteArray location = reply->rawHeader("Location");
        if (!redirect || location.isEmpty()) {
            // A body that ended at once with the last bytes may not have met the guard yet.
            if (reply->bytesAvailable() > UsageHTTP::maxBodyBytes)
                co_return R::failure({K::transport, UsageHTTP::tooLargeText});
            co_return UsageResponse{status, reply->readAll()};
        }

        if (hop + 1 > maxRedirects)
            co_return R::failure({K::transport, QStringLiteral("Too many redirects.")});
        const QUrl from = request.url();
        const QUrl to = from.resolved(QUrl::fromEncoded(location));
        const QString toScheme = to.scheme().toLower();
        if (!to.isValid() || (toScheme != u"https" && toScheme != u"http")
            || (from.scheme().toLower() == u"https" && toScheme != u"https"))
            co_return R::failure({K::transport, QStringLiteral("The server redirected to an insecure address.")});

        const bool sameOrigin = originOf(from) == originOf(to);
        QNetworkRequest next = sameOrigin ? request : strangerRequest(request, to);
        next.setUrl(to);
        // 303, and 301/302 after a POST, turn into a GET without a body, as browsers do.
        if (status == 303 || ((status == 301 || status == 302) && verb == "POST")) {
            if (verb != "HEAD")
                verb = "GET";
            body.clear();
            next.setHeader(QNetworkRequest::ContentTypeHeader, QVariant());
            next.setRawHeader("Content-Type", QByteArray());
        }
        // What was sent to one origin (a form with codes, a token) never goes on to another.
        if (!sameOrigin && !body.isEmpty())
            co_return R::failure({K::transport, UsageHTTP::redirectedDataText});
        request = next;
    }
}

} // namespace

namespace UsageHTTP {

QCoro::Task<Result<UsageResponse, UsageSendError>> send(QNetworkRequest request, QByteArray verb, QByteArray body,
    UsageRequestContext context, Millis timeout)
{
    using R = Result<UsageResponse, UsageSendError>;
    using K = UsageSendError::Kind;
    if (unsafeHeaders(request))
        co_return R::failure({K::unsafeHeader, {}});
    if (context.token.isCancelled())
        co_return R::failure({K::cancelled, {}});

    auto exchange = std::make_shared<Exchange>();
    CancelToken stopTimer;
    auto timer = watchTimeout(context.clock, timeout, stopTimer, exchange);
    const auto cancelConnection = context.token.onCancel([exchange] {
        exchange->cancelled = true;
        if (exchange->reply)
            exchange->reply->abort();
    });
    auto outcome = co_await exchangeAll(std::move(request), std::move(verb), std::move(body), context, exchange);
    QObject::disconnect(cancelConnection);
    // The watch ends at once once stopped; waiting for it keeps its frame from outliving ours.
    stopTimer.cancel();
    co_await std::move(timer);
    co_return outcome;
}

Result<QByteArray, UsageFailure> judge(const UsageResponse &response, UsageVendor vendor)
{
    using R = Result<QByteArray, UsageFailure>;
    if (response.status == 401 || response.status == 403)
        return R::failure(UsageFetchError::signedOut(vendor));
    if (response.status < 200 || response.status > 299)
        return R::failure(UsageFetchError::http(vendor, response.status));
    for (char c : response.body) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == '<')
            return R::failure(UsageFetchError::signedOut(vendor));
        break;
    }
    return response.body;
}

QCoro::Task<Result<QByteArray, UsageFailure>> data(QNetworkRequest request, UsageVendor vendor,
    UsageRequestContext context, QByteArray verb, QByteArray body)
{
    using R = Result<QByteArray, UsageFailure>;
    auto sent = co_await send(std::move(request), std::move(verb), std::move(body), context, requestTimeout);
    if (!sent.ok()) {
        switch (sent.error().kind) {
        case UsageSendError::Kind::unsafeHeader: co_return R::failure(UsageFetchError::signedOut(vendor));
        case UsageSendError::Kind::notHTTP:
            co_return R::failure(
                UsageFetchError::unavailable(vendor, QStringLiteral("No response from ") + displayName(vendor) + u'.'));
        case UsageSendError::Kind::cancelled: co_return R::failure(UsageCancelled{});
        case UsageSendError::Kind::transport: co_return R::failure(UsageTransportError{sent.error().message});
        }
    }
    co_return judge(sent.value(), vendor);
}

std::optional<double> number(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool: return value.toBool() ? 1.0 : 0.0;
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return std::nullopt;
        return d;
    }
    case QJsonValue::String: {
        const QByteArray text = value.toString().toUtf8();
        if (text.isEmpty() || text.contains('\0'))
            return std::nullopt;
        const unsigned char first = static_cast<unsigned char>(text.front());
        if (first == ' ' || (first >= '\t' && first <= '\r'))
            return std::nullopt;
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        char *end = nullptr;
        const double d = strtod_l(text.constData(), &end, cLocale);
        if (end != text.constData() + text.size())
            return std::nullopt;
        return d;
    }
    default: return std::nullopt;
    }
}

std::optional<double> figure(const QJsonValue &value)
{
    const auto n = number(value);
    if (!n || !std::isfinite(*n))
        return std::nullopt;
    return n;
}

std::optional<QDateTime> epochDate(double n)
{
    if (!std::isfinite(n) || !(n > 0))
        return std::nullopt;
    const double seconds = n > 10'000'000'000.0 ? n / 1000.0 : n;
    const double ms = std::round(seconds * 1000.0);
    // Well inside QDateTime's range and a 64-bit millisecond count.
    if (ms > 8.0e15 * 1000.0)
        return std::nullopt;
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

namespace {

std::optional<QDateTime> strictDateTime(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?(?:(Z)|([+-])(\d{2}):(\d{2}))$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QString fraction = m.captured(7);
    const int ms = fraction.isEmpty() ? 0 : (fraction + QStringLiteral("00")).left(3).toInt();
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    int offset = 0;
    if (m.captured(8).isEmpty()) {
        const int h = m.captured(10).toInt(), min = m.captured(11).toInt();
        if (h > 23 || min > 59)
            return std::nullopt;
        offset = (h * 3600 + min * 60) * (m.captured(9) == u"-" ? -1 : 1);
    }
    const QDateTime t = QDateTime(day, time, Qt::OffsetFromUTC, offset).toUTC();
    if (!t.isValid())
        return std::nullopt;
    return t;
}

std::optional<QDateTime> fullDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!day.isValid())
        return std::nullopt;
    return QDateTime(day, QTime(0, 0), Qt::UTC);
}

} // namespace

std::optional<QDateTime> internetDateTime(const QString &text) { return strictDateTime(text); }

std::optional<QDateTime> date(const QJsonValue &value)
{
    if (value.isString()) {
        const QString text = value.toString();
        if (auto t = strictDateTime(text))
            return t;
        if (auto t = fullDate(text))
            return t;
    }
    const auto n = number(value);
    if (!n)
        return std::nullopt;
    return epochDate(*n);
}

QString query(const QList<QPair<QString, QString>> &pairs)
{
    auto encode = [](const QString &text) -> QString {
        QString out;
        for (auto it = text.cbegin(); it != text.cend(); ++it) {
            char32_t c = it->unicode();
            if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
                c = QChar::surrogateToUcs4(*it, *(it + 1));
                ++it;
            } else if (it->isSurrogate()) {
                return text; // the encoder refuses broken UTF-16: the text goes as it is
            }
            const auto category = QChar::category(c);
            const bool kept = (category >= QChar::Mark_NonSpacing && category <= QChar::Number_Other)
                || (category >= QChar::Letter_Uppercase && category <= QChar::Letter_Other) || c == U'-'
                || c == U'.' || c == U'_' || c == U'~';
            if (kept) {
                out.append(QString::fromUcs4(&c, 1));
                continue;
            }
            const QByteArray utf8 = QString::fromUcs4(&c, 1).toUtf8();
            for (unsigned char b : utf8)
                out.append(u'%').append(QString::asprintf("%02X", b));
        }
        return out;
    };
    QStringList parts;
    for (const auto &[name, value] : pairs)
        parts << encode(name) + u'=' + encode(value);
    return parts.join(u'&');
}

} // namespace UsageHTTP

QString cookieHeader(const UsageSession &session)
{
    QList<QPair<QString, QString>> entries;
    for (auto it = session.cbegin(); it != session.cend(); ++it)
        if (!it.key().startsWith(QStringLiteral("__tavrenhold")))
            entries.append({it.key(), it.value()});
    // By Unicode scalar values (QString compares UTF-16 code units, which differ above U+FFFF).
    std::sort(entries.begin(), entries.end(),
        [](const auto &a, const auto &b) { return a.first.toUcs4() < b.first.toUcs4(); });
    QStringList parts;
    for (const auto &[name, value] : entries)
        parts << name + u'=' + value;
    return parts.join(QStringLiteral("; "));
}

} // namespace tavrenhold
