#pragma once

#include "UsageClients.h"
#include "UsageModels.h"

#include "design/CancelToken.h"
#include "design/Clock.h"
#include "base/Result.h"

#include <QByteArray>
#include <QCoroTask>
#include <QJsonValue>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QString>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

namespace tavrenhold {

// What one request needs besides itself: the shared network access manager, the clock its
// time-out runs on, and the token that gives it up.
struct UsageRequestContext {
    QNetworkAccessManager &network;
    Clock &clock = Clock::system();
    CancelToken token = {};
};

// The final answer of a request after redirects.
struct UsageResponse {
    int status = 0;
    QByteArray body;
    bool operator==(const UsageResponse &) const = default;
};

// Why a request produced no answer.
struct UsageSendError {
    enum class Kind {
        unsafeHeader, // a header value held CR, LF or NUL: nothing was sent
        notHTTP,      // an answer without an HTTP status
        transport,    // no answer: message says why, in our words
        cancelled,
    };
    Kind kind = Kind::transport;
    QString message;
    bool operator==(const UsageSendError &) const = default;
};

namespace UsageHTTP {

using namespace std::chrono_literals;

inline const QString browserUserAgent = QStringLiteral(
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.0 "
    "Safari/605.1.15");
inline const QByteArray jsonAccept = QByteArrayLiteral("application/json");
inline constexpr Millis requestTimeout = 20s;

// The most an answer's body may hold; a longer one is given up as soon as it passes the bound.
inline constexpr qint64 maxBodyBytes = 8 * 1024 * 1024;

// Our own texts for transport failures.
inline const QString timedOutText = QStringLiteral("The request timed out.");
inline const QString tooLargeText = QStringLiteral("The server's answer was too large.");
inline const QString redirectedDataText = QStringLiteral("The server redirected the request's data to another address.");

// Sends one request (verb and body as given) and follows redirects by hand, at most 10 hops: to
// the same origin the request goes unchanged; to another origin only Accept and User-Agent go
// along, and never a body (such a redirect fails); a redirect from https to anything else fails.
// An answer whose body passes maxBodyBytes fails at once. The whole exchange has `timeout` on the
// context's clock. No cookie jar, no cache. Never throws.
[[nodiscard]] QCoro::Task<Result<UsageResponse, UsageSendError>> send(QNetworkRequest request,
    QByteArray verb, QByteArray body, UsageRequestContext context, Millis timeout);

// The shared request operation of the vendor clients: 20 s time-out; 401/403 and a web page are
// signedOut, other statuses outside 2xx are http, an answer that is not HTTP is unavailable. A
// header value with CR, LF or NUL is never sent: signedOut.
[[nodiscard]] QCoro::Task<Result<QByteArray, UsageFailure>> data(QNetworkRequest request, UsageVendor vendor,
    UsageRequestContext context, QByteArray verb = QByteArrayLiteral("GET"), QByteArray body = {});

// Judges a final answer as data() does; for tests and callers that send by other means.
[[nodiscard]] Result<QByteArray, UsageFailure> judge(const UsageResponse &response, UsageVendor vendor);

// A date from an internet date-time (with or without fraction), a full date (midnight UTC), or a
// positive epoch number (above 1e10: milliseconds). Non-finite figures and instants a date cannot
// hold give none. An undefined value (missing key) gives none.
[[nodiscard]] std::optional<QDateTime> date(const QJsonValue &value);
// A JSON number if finite (true/false as 1/0), or a text read whole in the C locale (which passes
// "nan" and "inf"); none otherwise.
[[nodiscard]] std::optional<double> number(const QJsonValue &value);
// number() when finite: what clients use for figures, so NaN and infinity count as missing.
[[nodiscard]] std::optional<double> figure(const QJsonValue &value);
// A strict internet date-time, "2025-06-01T12:30:00Z", "…00.250Z" or "…00+02:00", in UTC.
[[nodiscard]] std::optional<QDateTime> internetDateTime(const QString &text);
// The epoch rule alone: positive seconds, or milliseconds above 1e10.
[[nodiscard]] std::optional<QDateTime> epochDate(double number);
// name=value pairs joined by "&", each percent-encoded except letters, marks, digits and "-._~".
[[nodiscard]] QString query(const QList<QPair<QString, QString>> &pairs);

} // namespace UsageHTTP

// The Cookie header of a session: entries sorted by name, "__tavrenhold…" left out, "name=value"
// joined by "; ".
[[nodiscard]] QString cookieHeader(const UsageSession &session);

} // namespace tavrenhold
