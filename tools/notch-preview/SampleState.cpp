#include "SampleState.h"

#include "design/NotchTime.h"
#include "platform/Defaults.h"
#include "usage/VendorSessionStore.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace preview {

using namespace tavrenhold;

QByteArray sampleCover()
{
    // A dusk sky over a sea: a warm gradient, a sun and a few bands of darker water.
    QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(38, 22, 92));
    sky.setColorAt(0.55, QColor(214, 86, 94));
    sky.setColorAt(1, QColor(250, 176, 96));
    p.fillRect(image.rect(), sky);
    QRadialGradient sun(QPointF(150, 190), 70);
    sun.setColorAt(0, QColor(255, 236, 180));
    sun.setColorAt(1, QColor(255, 170, 110, 0));
    p.setBrush(sun);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(150, 190), 70, 70);
    for (int i = 0; i < 5; ++i) {
        p.setBrush(QColor(30, 24, 70, 150 - i * 18));
        p.drawRect(QRectF(0, 210 + i * 18, 300, 9));
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

NowPlayingState SamplePublisher::track(const QDateTime &now, bool playing, const QString &title)
{
    NowPlayingTrack track;
    track.id = QStringLiteral("sample-track");
    track.title = title.isEmpty() ? QStringLiteral("Harbour Lights at Dusk") : title;
    track.artist = QStringLiteral("The Quiet Tides");
    track.album = QStringLiteral("Low Water");
    track.duration = 245;
    track.artwork = NotchImage::make(QStringLiteral("sample-cover"), sampleCover());

    NowPlayingState state;
    state.track = track;
    state.status = playing ? PlaybackStatus::playing : PlaybackStatus::paused;
    state.elapsed = 97;
    state.capturedAt = now;
    state.player = PlayerIdentity{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify")};
    return state;
}

MusicPlayerOption SamplePublisher::option(PlayerKind kind)
{
    const QString id = bundleIdentifier(kind);
    return MusicPlayerOption{id, displayName(kind), QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + id + QStringLiteral(".desktop"))};
}

QCoro::Task<platform::SecretRead> SampleSecrets::read(QString service, QString key)
{
    const auto found = m_items.constFind(service + u'\n' + key);
    co_return found == m_items.cend() ? std::optional<QString>() : std::optional<QString>(*found);
}

QCoro::Task<Status<platform::SecretError>> SampleSecrets::write(QString service, QString key, QString text)
{
    m_items.insert(service + u'\n' + key, text);
    co_return Ok{};
}

QCoro::Task<Status<platform::SecretError>> SampleSecrets::remove(QString service, QString key)
{
    m_items.remove(service + u'\n' + key);
    co_return Ok{};
}

const QList<UsageVendor> SampleUsage::vendors{UsageVendor::anthropic, UsageVendor::cursor, UsageVendor::openai};

std::optional<SampleUsage::Look> SampleUsage::lookFromRaw(const QString &raw)
{
    if (raw == QLatin1String("empty"))
        return Look::empty;
    if (raw == QLatin1String("connected"))
        return Look::connected;
    if (raw == QLatin1String("refreshing"))
        return Look::refreshing;
    if (raw == QLatin1String("error"))
        return Look::error;
    return std::nullopt;
}

namespace {

// A session each sample vendor accepts; the values are made up.
UsageSession sampleSession(UsageVendor vendor)
{
    switch (vendor) {
    case UsageVendor::anthropic: return {{QStringLiteral("sessionKey"), QStringLiteral("sample")}};
    case UsageVendor::cursor: return {{QStringLiteral("WorkosCursorSessionToken"), QStringLiteral("sample")}};
    default: return {{QStringLiteral("__Secure-next-auth.session-token"), QStringLiteral("sample")}};
    }
}

UsageLimit limit(const char *label, UsageSpan span, int percent, const QDateTime &resets, double seconds)
{
    return UsageLimit{QString::fromUtf8(label), span, percent, resets, seconds};
}

} // namespace

UsageReport SampleUsage::report(UsageVendor vendor, const QDateTime &now)
{
    constexpr double hour = 3600, day = 24 * hour;
    UsageReport r;
    r.vendor = vendor;
    switch (vendor) {
    case UsageVendor::anthropic:
        r.plan = QStringLiteral("Max");
        r.limits = {limit("5h", UsageSpan::session, 42, now.addSecs(2 * 3600 + 13 * 60), 5 * hour),
                    limit("Week", UsageSpan::weekly, 61, now.addDays(3), 7 * day)};
        r.breakdown = {{QStringLiteral("claude-sonnet-4.5"), 1'840'000, {}},
                       {QStringLiteral("claude-opus-4.1"), 620'000, {}},
                       {QStringLiteral("claude-haiku-4.5"), 210'000, {}}};
        break;
    case UsageVendor::cursor:
        r.plan = QStringLiteral("Pro");
        r.limits = {limit("Monthly", UsageSpan::monthly, 72, now.addDays(12), 30 * day)};
        r.breakdown = {{QStringLiteral("auto"), 900'000, {}}, {QStringLiteral("claude-4.5-sonnet"), 300'000, {}}};
        break;
    default:
        r.plan = QStringLiteral("Plus");
        r.limits = {limit("5-hour", UsageSpan::session, 18, now.addSecs(4 * 3600), 5 * hour),
                    limit("Weekly", UsageSpan::weekly, 33, now.addDays(5), 7 * day)};
        r.breakdown = {{QStringLiteral("gpt-5"), 1'200'000, {}}, {QStringLiteral("gpt-5-codex"), 450'000, {}}};
        break;
    }
    return r;
}

SampleUsage::SampleUsage(Look look, platform::Defaults &defaults, platform::Pasteboard &pasteboard) : m_look(look)
{
    // What start-up finds: the connections in the defaults, their sessions in the keyring.
    if (look != Look::empty) {
        QJsonArray connections;
        for (const UsageVendor vendor : vendors) {
            connections.append(UsageConnection{vendor, UsageAuthState::connected}.toJson());
            const auto written = m_secrets.write(VendorSessionStore::service(vendor), VendorSessionStore::account,
                                                 QString::fromUtf8(VendorSessionStore::encode(sampleSession(vendor))));
            Q_UNUSED(written);
        }
        defaults.setData(QStringLiteral("usage.connections"), QJsonDocument(connections).toJson(QJsonDocument::Compact));
    }
    UsageClients clients;
    clients.fetch = [this](UsageVendor vendor, UsageSession, QNetworkAccessManager &, CancelToken token) {
        return fetch(vendor, std::move(token));
    };
    clients.grokNoLoginMessage = QStringLiteral("No Grok CLI login.");
    m_store = std::make_unique<UsageStore>(UsageStoreServices{
        .defaults = defaults,
        .secrets = m_secrets,
        .clock = Clock::system(),
        .clients = std::move(clients),
        .webSignIn = nullptr,
        .urlOpener = m_urls,
        .clipboard = [&pasteboard]() -> platform::Pasteboard & { return pasteboard; },
        .network = m_network,
    });
}

SampleUsage::~SampleUsage() = default;

QCoro::Task<UsageFetchResult> SampleUsage::fetch(UsageVendor vendor, CancelToken token)
{
    // A held fetch lasts until the store gives it up.
    if (m_holdFetches) {
        co_await Clock::system().sleepFor(Millis(24 * 3600 * 1000), token);
        co_return UsageFetchResult::failure(UsageCancelled{});
    }
    if (m_look == Look::error && vendor == UsageVendor::anthropic)
        co_return UsageFetchResult::failure(UsageFetchError::signedOut(vendor));
    co_return report(vendor, QDateTime::currentDateTimeUtc());
}

bool SampleUsage::settle(int ceilingMs)
{
    // The ceiling's timer also wakes the wait when nothing else happens.
    QTimer ceiling;
    ceiling.setSingleShot(true);
    ceiling.start(ceilingMs);
    const auto waitFor = [&](const std::function<bool()> &condition) {
        while (!condition() && ceiling.isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return condition();
    };
    UsageStore &store = *m_store;
    // Start-up, then the first refresh of the connected vendors.
    if (!waitFor([&] { return store.isStarted(); }))
        return false;
    if (m_look == Look::empty)
        return true;
    if (!waitFor([&] { return store.lastRefreshedAt().has_value() && !store.isRefreshing(); }))
        return false;
    if (m_look != Look::refreshing)
        return true;
    m_holdFetches = true;
    store.requestRefresh();
    return waitFor([&] { return store.isRefreshing(); });
}

} // namespace preview
