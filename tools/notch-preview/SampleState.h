#pragma once

// Sample state for the preview: a now-playing service that publishes one made-up track with a
// generated cover, AI usage vendors with made-up plans, and a desktop appearance that holds still.

#include "design/NotchPane.h"
#include "nowplaying/NowPlayingPublisher.h"
#include "nowplaying/PlayerKind.h"
#include "platform/SecretStore.h"
#include "platform/SystemAppearance.h"
#include "platform/UrlOpener.h"
#include "usage/UsageStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QNetworkAccessManager>

#include <memory>
#include <optional>

namespace preview {

// A cover picture drawn here, as PNG bytes.
[[nodiscard]] QByteArray sampleCover();

// The now-playing service of the preview: publishes `state`, offers `players` as installed and does
// nothing else.
class SamplePublisher final : public tavrenhold::NowPlayingPublisher {
public:
    explicit SamplePublisher(tavrenhold::NowPlayingState state, QList<tavrenhold::MusicPlayerOption> players = {})
        : m_state(std::move(state)), m_players(std::move(players))
    {
    }
    [[nodiscard]] tavrenhold::NowPlayingState state() const override { return m_state; }
    void start() override {}
    void stop() override {}
    void setCadence(tavrenhold::NowPlayingCadence) override {}
    [[nodiscard]] const QList<tavrenhold::MusicPlayerOption> &installedPlayers() const override { return m_players; }
    [[nodiscard]] bool isAppleMusic() const override
    {
        return m_state.player && m_state.player->id == tavrenhold::bundleIdentifier(tavrenhold::PlayerKind::appleMusic);
    }

    // A track with the sample cover, captured at `now`, playing or paused, titled `title` (the
    // sample's own title when empty).
    [[nodiscard]] static tavrenhold::NowPlayingState track(const QDateTime &now, bool playing, const QString &title = {});
    // The option a known player would have when installed.
    [[nodiscard]] static tavrenhold::MusicPlayerOption option(tavrenhold::PlayerKind kind);

private:
    tavrenhold::NowPlayingState m_state;
    QList<tavrenhold::MusicPlayerOption> m_players;
};

// A desktop that asks for reduced motion, so every view shows its final state at once.
class StillAppearance final : public tavrenhold::platform::SystemAppearance {
public:
    explicit StillAppearance(bool dark) : m_dark(dark) {}
    [[nodiscard]] bool isDark() const override { return m_dark; }
    [[nodiscard]] bool reduceMotion() const override { return true; }

private:
    bool m_dark;
};

// A keyring held in memory: what the sample vendors' sessions are read from.
class SampleSecrets final : public tavrenhold::platform::SecretStore {
public:
    QCoro::Task<tavrenhold::platform::SecretRead> read(QString service, QString key) override;
    QCoro::Task<tavrenhold::Status<tavrenhold::platform::SecretError>> write(QString service, QString key,
                                                                             QString text) override;
    QCoro::Task<tavrenhold::Status<tavrenhold::platform::SecretError>> remove(QString service, QString key) override;

private:
    QMap<QString, QString> m_items; // service + '\n' + key
};

// An opener that takes nothing: the preview never leaves the picture.
class NoUrlOpener final : public tavrenhold::platform::UrlOpener {
public:
    bool open(const QUrl &) override { return false; }
};

// The AI Usage pane's store over sample vendors. `connected` has Anthropic, Cursor and OpenAI
// signed in with made-up plans, limits and models; `refreshing` is the same with a second refresh
// under way; `error` has Anthropic refuse its session on the first refresh; `empty` connects nothing.
// The sessions live in a keyring in memory, the connections in the run's defaults; nothing is
// fetched from the network.
class SampleUsage {
public:
    enum class Look { empty, connected, refreshing, error };
    [[nodiscard]] static std::optional<Look> lookFromRaw(const QString &raw);
    // The vendors of the connected looks.
    static const QList<tavrenhold::UsageVendor> vendors;

    SampleUsage(Look look, tavrenhold::platform::Defaults &defaults, tavrenhold::platform::Pasteboard &pasteboard);
    ~SampleUsage();

    [[nodiscard]] tavrenhold::UsageStore &store() { return *m_store; }
    // Runs the event loop until the store shows the look; false when it did not within `ceilingMs`.
    [[nodiscard]] bool settle(int ceilingMs = 10000);

    // The report a sample vendor gives, its windows counted from `now`.
    [[nodiscard]] static tavrenhold::UsageReport report(tavrenhold::UsageVendor vendor, const QDateTime &now);

private:
    QCoro::Task<tavrenhold::UsageFetchResult> fetch(tavrenhold::UsageVendor vendor, tavrenhold::CancelToken token);

    Look m_look;
    bool m_holdFetches = false;
    SampleSecrets m_secrets;
    NoUrlOpener m_urls;
    QNetworkAccessManager m_network;
    std::unique_ptr<tavrenhold::UsageStore> m_store;
};

} // namespace preview
