#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace tavrenhold::platform {

// One cookie of a sign-in window's jar. The jar keys cookies by name, domain and path.
struct WebCookie {
    QString name;
    QString domain; // ".vendor.test" for a domain cookie, "vendor.test" for a host-only one
    QString path;
    QString value;
    bool operator==(const WebCookie &) const = default;
};

// What a sign-in window shows: its title, the first page and the user agent its requests carry.
struct WebSignInPage {
    QString title;
    QUrl url;
    QString userAgent;
    bool operator==(const WebSignInPage &) const = default;
};

// A window with a web view and a private, memory-only cookie jar in which the user signs in to a
// vendor's site, and a "Done" button. Its owner reads the jar and the address while it is open.
class WebSignInWindow : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows the window and loads the page; at most once. A window that cannot be shown says so
    // with `failed`, never before open() has returned.
    virtual void open(const WebSignInPage &page) = 0;
    // Closes the window for good; no signal comes after.
    virtual void close() = 0;

    // The jar as mirrored so far, cookies in the order they arrived.
    [[nodiscard]] virtual QList<WebCookie> cookies() const = 0;
    // The page's current address: scheme, host, port and path (nothing else is told).
    [[nodiscard]] virtual QUrl address() const = 0;

Q_SIGNALS:
    void donePressed();
    // The user closed the window.
    void closedByUser();
    // The window could not be shown or went away by itself.
    void failed();
};

} // namespace tavrenhold::platform
