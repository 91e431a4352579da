#include "VendorLogin.h"

namespace tavrenhold {

namespace {

QUrl at(const QString &origin, const QString &path)
{
    QUrl url(origin);
    url.setPath(path);
    return url;
}

QString host(const QString &origin) { return QUrl(origin).host(); }

// "https://accounts/ServiceLogin?continue=https%3A%2F%2Fgemini%2Fusage": the continue address with
// ":" and "/" (and anything else not unreserved) percent-encoded.
QUrl googleLogin(const UsageEndpoints &origins)
{
    const QByteArray next = at(origins.googleWeb, QStringLiteral("/usage")).toEncoded().toPercentEncoding();
    return QUrl::fromEncoded(at(origins.googleAccounts, QStringLiteral("/ServiceLogin")).toEncoded() + "?continue="
                             + next);
}

} // namespace

std::optional<VendorLoginProfile> VendorLoginProfile::profile(UsageVendor vendor, const UsageEndpoints &origins)
{
    switch (vendor) {
    case UsageVendor::openai:
        return VendorLoginProfile{
            at(origins.openaiWeb, QStringLiteral("/auth/login")),
            {QStringLiteral("__Secure-next-auth.session-token"), QStringLiteral("__Secure-next-auth.session-token.0")},
            {host(origins.openaiWeb)},
            host(origins.openaiWeb),
            {QStringLiteral("/auth"), QStringLiteral("/login"), QStringLiteral("/signin"), QStringLiteral("/sign-in")},
        };
    case UsageVendor::anthropic:
        return VendorLoginProfile{
            at(origins.anthropicWeb, QStringLiteral("/login")),
            {QStringLiteral("sessionKey")},
            {host(origins.anthropicWeb)},
            host(origins.anthropicWeb),
            {QStringLiteral("/login"), QStringLiteral("/magic-link"), QStringLiteral("/signin")},
        };
    case UsageVendor::google:
        return VendorLoginProfile{
            googleLogin(origins),
            {},
            {origins.googleDomain},
            host(origins.googleWeb),
            {QStringLiteral("/ServiceLogin"), QStringLiteral("/signin"), QStringLiteral("/AccountChooser"),
             QStringLiteral("/challenge")},
        };
    case UsageVendor::cursor:
        return VendorLoginProfile{
            at(origins.cursorAuthenticator, QStringLiteral("/")),
            {QStringLiteral("WorkosCursorSessionToken")},
            {host(origins.cursorWeb), host(origins.cursorAuthenticator)},
            std::nullopt,
            {},
        };
    case UsageVendor::xai:
    case UsageVendor::copilot:
        return std::nullopt;
    }
    return std::nullopt;
}

bool VendorLoginProfile::urlLooksSignedIn(const QUrl &url) const
{
    if (!signedInHost || !url.isValid())
        return false;
    const QString urlHost = url.host();
    if (urlHost.isEmpty())
        return false;
    if (urlHost != *signedInHost && !urlHost.endsWith(QLatin1Char('.') + *signedInHost))
        return false;
    const QString path = url.path().toLower();
    for (const QString &marker : authPathMarkers) {
        if (path.contains(marker.toLower()))
            return false;
    }
    return true;
}

bool VendorLoginProfile::domainMatches(const QString &domain) const
{
    QString name = domain.toLower();
    if (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        return false;
    for (const QString &hint : domainHints) {
        const QString h = hint.toLower();
        if (h.isEmpty())
            continue;
        if (name == h || name.endsWith(QLatin1Char('.') + h))
            return true;
    }
    return false;
}

bool VendorLoginProfile::hasSessionCookie(const QList<platform::WebCookie> &jar) const
{
    if (cookieNames.isEmpty())
        return false;
    for (const platform::WebCookie &cookie : jar) {
        if (cookieNames.contains(cookie.name) && !cookie.value.isEmpty() && domainMatches(cookie.domain))
            return true;
    }
    return false;
}

std::optional<UsageSession> VendorLoginProfile::captureDomainCookies(const QList<platform::WebCookie> &jar) const
{
    UsageSession session;
    for (const platform::WebCookie &cookie : jar) {
        if (!cookie.value.isEmpty() && domainMatches(cookie.domain))
            session.insert(cookie.name, cookie.value);
    }
    if (session.isEmpty())
        return std::nullopt;
    return session;
}

} // namespace tavrenhold
