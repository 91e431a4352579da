#pragma once

#include "UsageClients.h"
#include "UsageEndpoints.h"
#include "UsageModels.h"

#include "platform/WebSignInWindow.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tavrenhold {

// Where a vendor's sign-in starts and how to tell that the user is signed in.
struct VendorLoginProfile {
    QUrl loginURL;
    // Cookies whose presence (non-empty, on one of the vendor's domains) proves a session; may be empty.
    QSet<QString> cookieNames;
    // The vendor's domains: a cookie belongs to the vendor when its domain is one of them or lies below.
    QStringList domainHints;
    // The web application's host once signed in; none when the address proves nothing.
    std::optional<QString> signedInHost;
    // Path fragments of the sign-in pages, in the order they are tested.
    QStringList authPathMarkers;
    bool operator==(const VendorLoginProfile &) const = default;

    // The profile of a vendor signed in through the web window, on the configured hosts; none for
    // xAI and Copilot.
    [[nodiscard]] static std::optional<VendorLoginProfile> profile(UsageVendor vendor,
                                                                   const UsageEndpoints &endpoints = UsageEndpoints::shared());

    // The address rule: a page on the signed-in host (or below it) whose path, in lower case, holds
    // none of the markers.
    [[nodiscard]] bool urlLooksSignedIn(const QUrl &url) const;
    // Whether a cookie's domain is one of the hints or a subdomain of one: one leading dot dropped,
    // compared case-insensitively. A domain that merely contains a hint ("notvendor.test",
    // "vendor.test.evil.test") is not the vendor's.
    [[nodiscard]] bool domainMatches(const QString &domain) const;
    // A cookie named in cookieNames, with a value, on the vendor's domains.
    [[nodiscard]] bool hasSessionCookie(const QList<platform::WebCookie> &jar) const;
    // Every cookie with a value on the vendor's domains, name to value, in jar order (a later cookie
    // of a name replaces an earlier one); none when there is none.
    [[nodiscard]] std::optional<UsageSession> captureDomainCookies(const QList<platform::WebCookie> &jar) const;
};

} // namespace tavrenhold
