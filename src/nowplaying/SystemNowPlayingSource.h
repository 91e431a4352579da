#pragma once

#include "AdapterLocation.h"
#include "AdapterPayload.h"
#include "NowPlayingSource.h"
#include "SerialQueue.h"
#include "design/CancelToken.h"
#include "design/Clock.h"

#include <QPointer>

#include <array>
#include <memory>
#include <optional>

namespace tavrenhold {

class AdapterStream;
class AppNameCache;

// The preferred now-playing source: whatever application the system names as now playing, read
// from the streaming media-remote adapter. It supervises the adapter process (restarts after 1 s and
// 2 s, gives up at the third exit in a row and may be re-enabled by a probe 45 s later; a stream that
// ran for less than `shortRun` counts in that row even when it printed), turns each
// payload into a state, holds transient hand-overs between players back for 1.5 s, pulls the track
// itself after a skip and the artwork of every new track, and sends transport commands as one-shot
// adapter runs. Main-thread object; every delay goes through the injected clock.
class SystemNowPlayingSource final : public NowPlayingSource {
    Q_OBJECT
public:
    // Separates the fields of track ids and song keys: U+001F, the unit separator.
    static constexpr QChar separator = QChar(0x1F);
    static constexpr Millis handoverHold{1500};
    static constexpr Millis reenableAfter{45000};
    static constexpr int failuresBeforeDisabling = 3;
    // A stream that ends sooner than this after its start was no success, whatever it printed.
    static constexpr Millis shortRun{5000};
    static constexpr double selfTestTimeout = 15;
    static constexpr double trackPullTimeout = 6;
    static constexpr double artworkPullTimeout = 8;
    // Cumulative times after a skip at which the track is pulled, and after a new track at which its
    // artwork is pulled; each wait counts from the end of the previous run.
    static constexpr std::array<Millis, 5> trackRefreshSchedule{Millis(200), Millis(450), Millis(900),
                                                                Millis(1500), Millis(2500)};
    static constexpr std::array<Millis, 5> artworkSchedule{Millis(0), Millis(300), Millis(700), Millis(1200),
                                                           Millis(2000)};
    static const QStringList trackPullArguments;
    static const QStringList artworkPullArguments;

    // Looks for the adapter in the program's libexec/tavrenhold folder, on the real clock, with the
    // shared name cache.
    explicit SystemNowPlayingSource(QObject *parent = nullptr);
    // bundle: the folder searched after TAVRENHOLD_ADAPTER_DIR. names: the display-name cache
    // (nullptr: the shared one); it must outlive the source, as must the clock.
    SystemNowPlayingSource(Clock &clock, const QString &bundle, AppNameCache *names = nullptr,
                           QObject *parent = nullptr);
    ~SystemNowPlayingSource() override;

    [[nodiscard]] QString sourceID() const override { return QStringLiteral("system"); }
    QCoro::Task<bool> probe() override;
    QCoro::Task<> start() override;
    QCoro::Task<> stop() override;
    QCoro::Task<> setCadence(NowPlayingCadence cadence) override;
    QCoro::Task<std::shared_ptr<NowPlayingStateStream>> events() override;
    QCoro::Task<NowPlayingState> snapshot() override;
    QCoro::Task<> send(TransportCommand command) override;

    // The payload intake: turns one adapter payload into the next state, exactly as the pulls after a
    // skip deliver it. Payloads are taken one at a time in the order they came; one still waiting when
    // the source stops (or stops and starts again) is dropped. The stream's payloads go the same way,
    // except that a newer one replaces the stream's payload still waiting for its turn.
    QCoro::Task<> ingest(AdapterPayload payload);

    // What the source is doing now.
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool isDisabled() const { return m_disabled; }
    [[nodiscard]] int helperFailures() const { return m_helperFailures; }
    // An adapter stream is running: false while stopped, disabled or waiting to restart one.
    [[nodiscard]] bool hasStream() const { return m_stream != nullptr; }
    [[nodiscard]] const NowPlayingState &current() const { return m_current; }
    [[nodiscard]] const std::optional<AdapterLocation> &location() const { return m_location; }
    // A transient state is being held back.
    [[nodiscard]] bool isHolding() const { return m_holdToken.has_value(); }

    // The player's bundle: the parent application's identifier, else the payload's own, else "".
    [[nodiscard]] static QString playerBundle(const AdapterPayload &payload);
    // Player bundle, title, artist, album and the duration as reported ("%.0f"), each "" when absent.
    [[nodiscard]] static QString trackID(const AdapterPayload &payload);
    // The first four fields of trackID.
    [[nodiscard]] static QString songKey(const AdapterPayload &payload);
    // The song key of a state's track (its id without the last field); none without a track.
    [[nodiscard]] static std::optional<QString> songKey(const NowPlayingState &state);
    // A reported duration or elapsed time in seconds: absent or not positive gives 0; 100000 or
    // more is divided by 1000 until it is below.
    [[nodiscard]] static double normalisedTime(std::optional<double> reported);
    // Whether a payload pulled after a skip is taken: it has a title and, when the song key before
    // the skip is known, a different song key.
    [[nodiscard]] static bool shouldAdoptPulledTrack(const AdapterPayload &payload,
                                                     const std::optional<QString> &replacing);

private:
    QString bundle() const;
    QCoro::Task<> intake(AdapterPayload payload, bool fromStream);
    void startHelper();
    QCoro::Task<> helperDied(AdapterStream *which);
    void disable();
    void dropStream();
    void present(const NowPlayingState &state);
    void releaseHold();
    void cancelHold();
    [[nodiscard]] bool isTransientHandover(const NowPlayingState &next) const;
    void emitState(const NowPlayingState &state);
    void finishEvents();

    void scheduleTrackRefresh();
    QCoro::Task<bool> pullTrack(std::optional<QString> replacing, int generation, CancelToken token);
    void fetchArtworkIfNeeded();
    void attachArtwork(const std::optional<QByteArray> &data, const QString &trackID);

    static QCoro::Task<> runHold(QPointer<SystemNowPlayingSource> self, Clock &clock, CancelToken token);
    static QCoro::Task<> runTrackRefresh(QPointer<SystemNowPlayingSource> self, Clock &clock,
                                         std::optional<QString> replacing, int generation, CancelToken token);
    static QCoro::Task<> runArtworkPulls(QPointer<SystemNowPlayingSource> self, Clock &clock,
                                         AdapterLocation location, QString trackID, std::optional<QString> song,
                                         std::optional<NotchImage> carried, CancelToken token);

    Clock *m_clock;
    std::optional<QString> m_bundle; // none: the program's libexec folder, read when needed
    AppNameCache *m_names;

    std::optional<AdapterLocation> m_location;
    AdapterStream *m_stream = nullptr;
    NowPlayingState m_current = NowPlayingState::idle();
    std::shared_ptr<NowPlayingStateStream> m_continuation;
    std::optional<QString> m_artworkTrackID;
    CancelSlot m_artworkTask;
    bool m_running = false;
    bool m_sawPayload = false;
    std::optional<NowPlayingState> m_heldState;
    std::optional<CancelToken> m_holdToken;
    std::optional<QString> m_songKey;
    CancelSlot m_commandRefresh;
    int m_commandGeneration = 0;
    bool m_disabled = false;
    std::optional<MonoTime> m_disabledAt;
    int m_helperFailures = 0;
    std::optional<MonoTime> m_streamStartedAt;

    // Counts starts, stops and give-ups, so that work begun in one run of the source does nothing in
    // the next (a restart timer, a payload waiting for its turn or its player's name).
    quint64 m_run = 0;
    // Payloads are taken one at a time, in order; shared with intakes in flight.
    std::shared_ptr<SerialQueue> m_intake = std::make_shared<SerialQueue>();
};

} // namespace tavrenhold
