#pragma once

#include "nowplaying/PlayerCatalog.h"

#include <QHash>
#include <QSet>
#include <QStringList>

namespace tavrenhold::test {

// A workspace the test sets up: which applications are installed (and where) and which run. Opening
// an installed application records the call and, unless told otherwise, makes it run.
class FakePlayerWorkspace final : public PlayerWorkspace {
public:
    void install(const QString &bundleID, const QUrl &url) { m_installed.insert(bundleID, url); }
    void uninstall(const QString &bundleID) { m_installed.remove(bundleID); }
    void setRunning(const QString &bundleID, bool running)
    {
        if (running)
            m_running.insert(bundleID);
        else
            m_running.remove(bundleID);
    }
    // Whether opening an application starts it running.
    void setOpeningStartsApplications(bool starts) { m_openingStarts = starts; }

    bool isRunning(const QString &bundleID) const override { return m_running.contains(bundleID); }
    std::optional<QUrl> urlForApplication(const QString &bundleID) const override
    {
        ++m_lookups;
        const auto it = m_installed.constFind(bundleID);
        if (it == m_installed.constEnd())
            return std::nullopt;
        return *it;
    }
    QCoro::Task<bool> openApplication(QString bundleID, QUrl url, bool activates) override
    {
        record(bundleID, url, activates);
        if (m_openingStarts)
            m_running.insert(bundleID);
        co_return true;
    }

    // Every open as "<bundle id> <url> activate|background", in order.
    [[nodiscard]] const QStringList &opened() const { return m_opened; }
    [[nodiscard]] int lookups() const { return m_lookups; }

private:
    // Out of the coroutine: g++ 12 cannot take a string literal's array into a coroutine frame.
    void record(const QString &bundleID, const QUrl &url, bool activates)
    {
        m_opened << QStringLiteral("%1 %2 %3").arg(bundleID, url.toString(),
                                                   activates ? QStringLiteral("activate") : QStringLiteral("background"));
    }

    QHash<QString, QUrl> m_installed;
    QSet<QString> m_running;
    bool m_openingStarts = true;
    QStringList m_opened;
    mutable int m_lookups = 0;
};

} // namespace tavrenhold::test
