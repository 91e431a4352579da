#include "NowPlayingCoordinator.h"

#include "AppleEventRunner.h"
#include "PlayerCatalog.h"
#include "PlayerLauncher.h"

#include <cmath>
#include <utility>

namespace tavrenhold {

namespace {
// The favourite-check script's reply, in any case: "true", "yes" or "1".
bool readsAsFavorite(const QString &reply)
{
    const QString text = reply.toLower();
    return text == QLatin1String("true") || text == QLatin1String("yes") || text == QLatin1String("1");
}
} // namespace

NowPlayingCoordinator::NowPlayingCoordinator(NowPlayingSource *system, NowPlayingSource *fallback, Clock &clock,
                                             QObject *parent)
    : NowPlayingPublisher(parent), m_system(system), m_fallback(fallback), m_clock(clock)
{
    Q_ASSERT(fallback);
    if (system)
        system->setParent(this);
    if (fallback)
        fallback->setParent(this);
}

NowPlayingCoordinator::~NowPlayingCoordinator()
{
    // Tasks still waiting find themselves cancelled or overtaken and end; the sources go with us.
    ++m_runGeneration;
    cancelRecovery();
    cancelPump();
}

void NowPlayingCoordinator::start()
{
    if (m_started)
        return;
    m_started = true;
    setInstalledPlayers(loadInstalledPlayers());
    runSelection(this);
}

void NowPlayingCoordinator::stop()
{
    m_started = false;
    ++m_runGeneration;
    cancelRecovery();
    cancelPump();
    const QPointer<NowPlayingSource> previous = std::exchange(m_active, nullptr);
    setActiveSourceID(std::nullopt);
    setState(NowPlayingState::idle());
    if (previous)
        previous->stop();
}

void NowPlayingCoordinator::setCadence(NowPlayingCadence cadence)
{
    if (cadence == m_cadence)
        return;
    m_cadence = cadence;
    if (m_active)
        m_active->setCadence(cadence);
}

void NowPlayingCoordinator::send(TransportCommand command)
{
    // A position that is not a number (or is infinite) cannot be turned into a seek target.
    if (command.kind == TransportCommand::Kind::seek && !std::isfinite(command.seconds))
        return;
    if (m_active)
        m_active->send(command);
}

void NowPlayingCoordinator::seek(double fraction)
{
    if (!std::isfinite(fraction))
        return;
    if (!m_state.track || !(m_state.track->duration > 0))
        return;
    const double clamped = fraction > 1 ? 1.0 : (fraction <= 0 ? 0.0 : fraction);
    send(TransportCommand::seek(clamped * m_state.track->duration));
}

QCoro::Task<> NowPlayingCoordinator::runSelection(QPointer<NowPlayingCoordinator> self)
{
    if (!self)
        co_return;
    const quint64 generation = self->m_runGeneration;
    const std::shared_ptr<SerialQueue> queue = self->m_selections;
    const auto overtaken = [&self, generation] { return !self || self->m_runGeneration != generation; };

    // One selection at a time: two interleaved selections would each start a pump.
    auto turn = co_await queue->enter();
    if (overtaken())
        co_return;

    QPointer<NowPlayingSource> candidate = self->m_fallback;
    if (const QPointer<NowPlayingSource> system = self->m_system) {
        const bool usable = co_await system->probe();
        if (overtaken())
            co_return;
        if (usable && system)
            candidate = system;
    }
    if (!candidate)
        co_return;
    const QString candidateID = candidate->sourceID();

    if (self->m_activeSourceID == candidateID) {
        if (self->isFallback(candidate))
            self->scheduleSystemRecovery();
        co_return;
    }

    // Cancelled before the old source stops, so the end of its stream starts no second selection.
    self->cancelPump();
    if (const QPointer<NowPlayingSource> previous = self->m_active) {
        co_await previous->stop();
        if (overtaken())
            co_return;
    }
    self->setState(NowPlayingState::idle());
    self->m_active = candidate;
    self->setActiveSourceID(candidateID);

    // From here the candidate may be running: a selection overtaken by stop() stops it again, since
    // its start may have finished after the stop that stop() sent it.
    co_await candidate->start();
    if (overtaken()) {
        if (candidate)
            co_await candidate->stop();
        co_return;
    }
    co_await candidate->setCadence(self->m_cadence);
    if (overtaken()) {
        if (candidate)
            co_await candidate->stop();
        co_return;
    }
    if (self->isFallback(candidate))
        self->scheduleSystemRecovery();
    else
        self->cancelRecovery();

    const std::shared_ptr<NowPlayingStateStream> stream = co_await candidate->events();
    if (overtaken()) {
        if (candidate)
            co_await candidate->stop();
        co_return;
    }
    if (!stream)
        co_return;
    self->cancelPump();
    const CancelToken token;
    self->m_pump = Pump{token, stream};
    runPump(self, stream, token);
}

QCoro::Task<> NowPlayingCoordinator::runPump(QPointer<NowPlayingCoordinator> self,
                                             std::shared_ptr<NowPlayingStateStream> stream, CancelToken token)
{
    for (;;) {
        const std::optional<NowPlayingState> next = co_await stream->next();
        if (token.isCancelled() || !self)
            co_return;
        if (next) {
            self->setState(*next);
            continue;
        }
        // The source ended its stream on its own: it gave up. Forget its identity so the next
        // selection switches even to the same source, stopping and starting it afresh.
        self->setActiveSourceID(std::nullopt);
        if (self->m_started)
            runSelection(self);
        co_return;
    }
}

QCoro::Task<> NowPlayingCoordinator::runRecovery(QPointer<NowPlayingCoordinator> self, CancelToken token)
{
    if (!self)
        co_return;
    Clock &clock = self->m_clock;
    for (;;) {
        if (token.isCancelled())
            co_return;
        // An interrupted sleep is no error: the checks below end the task.
        co_await clock.sleepFor(recoveryInterval, token);
        if (token.isCancelled() || !self)
            co_return;
        if (!self->m_started || !self->m_fallback || self->m_activeSourceID != self->m_fallback->sourceID())
            co_return;
        const QPointer<NowPlayingSource> system = self->m_system;
        if (!system)
            co_return;
        const bool usable = co_await system->probe();
        if (token.isCancelled() || !self || !self->m_started)
            co_return;
        if (usable) {
            self->setActiveSourceID(std::nullopt);
            co_await runSelection(self);
            co_return;
        }
    }
}

void NowPlayingCoordinator::scheduleSystemRecovery()
{
    if (!m_system)
        return;
    cancelRecovery();
    const CancelToken token;
    m_recovery = token;
    runRecovery(this, token);
}

void NowPlayingCoordinator::cancelRecovery()
{
    if (auto token = std::exchange(m_recovery, std::nullopt))
        token->cancel();
}

void NowPlayingCoordinator::cancelPump()
{
    if (auto pump = std::exchange(m_pump, std::nullopt)) {
        pump->token.cancel();
        // Wakes a pump waiting on a stream whose source will never end it (it is being dropped).
        pump->stream->finish();
    }
}

bool NowPlayingCoordinator::isFallback(const NowPlayingSource *source) const
{
    return source && m_fallback && source->sourceID() == m_fallback->sourceID();
}

QList<MusicPlayerOption> NowPlayingCoordinator::loadInstalledPlayers() const
{
    return PlayerCatalog::installed(workspace());
}

// player operations

QString NowPlayingCoordinator::revealScript()
{
    return QStringLiteral("with timeout of 5 seconds\n"
                          "tell application id \"com.apple.Music\"\n"
                          "try\n"
                          "\treveal current track\n"
                          "end try\n"
                          "activate\n"
                          "end tell\n"
                          "end timeout");
}

QString NowPlayingCoordinator::favoriteScript()
{
    return QStringLiteral("with timeout of 5 seconds\n"
                          "tell application id \"com.apple.Music\"\n"
                          "try\n"
                          "\tset favorited of current track to true\n"
                          "on error\n"
                          "\ttry\n"
                          "\t\tset loved of current track to true\n"
                          "\ton error\n"
                          "\t\ttry\n"
                          "\t\t\tduplicate current track to playlist \"Favorites\"\n"
                          "\tend try\n"
                          "\tend try\n"
                          "end try\n"
                          "end tell\n"
                          "end timeout");
}

QString NowPlayingCoordinator::favoriteCheckScript()
{
    return QStringLiteral("with timeout of 3 seconds\n"
                          "tell application id \"com.apple.Music\"\n"
                          "try\n"
                          "\treturn (favorited of current track) as text\n"
                          "on error\n"
                          "\ttry\n"
                          "\t\treturn (loved of current track) as text\n"
                          "\tend try\n"
                          "end try\n"
                          "return \"false\"\n"
                          "end tell\n"
                          "end timeout");
}

void NowPlayingCoordinator::usePlayerServices(AppleEventRunner &runner, PlayerWorkspace &workspace)
{
    m_runner = &runner;
    m_workspace = &workspace;
}

AppleEventRunner &NowPlayingCoordinator::runner() const { return m_runner ? *m_runner : AppleEventRunner::shared(); }

PlayerWorkspace &NowPlayingCoordinator::workspace() const
{
    return m_workspace ? *m_workspace : PlayerWorkspace::shared();
}

bool NowPlayingCoordinator::isAppleMusic() const
{
    return m_state.player && PlayerCatalog::kind(m_state.player->id) == PlayerKind::appleMusic;
}

void NowPlayingCoordinator::openCurrent()
{
    if (!m_state.player)
        return;
    if (isAppleMusic()) {
        runIgnoringResult(runner(), revealScript(), true);
        return;
    }
    activate(m_state.player->id);
}

bool NowPlayingCoordinator::favoriteCurrent()
{
    if (!isAppleMusic())
        return false;
    runIgnoringResult(runner(), favoriteScript(), false);
    return true;
}

QCoro::Task<bool> NowPlayingCoordinator::isCurrentFavorited()
{
    if (!isAppleMusic())
        co_return false;
    auto run = runner().runText(favoriteCheckScript(), true);
    const auto answer = co_await run;
    if (!answer.ok())
        co_return false;
    co_return readsAsFavorite(answer.value());
}

void NowPlayingCoordinator::launch(const MusicPlayerOption &option)
{
    if (m_launchingPlayer)
        return;
    const auto kind = PlayerCatalog::kind(option.id);
    if (!kind)
        return;
    setLaunchingPlayer(option.id);
    runLaunch(this, *kind, m_clock, runner(), workspace());
}

void NowPlayingCoordinator::openAutomationSettings() {}

void NowPlayingCoordinator::activate(const QString &bundleID)
{
    PlayerWorkspace &apps = workspace();
    const auto url = apps.urlForApplication(bundleID);
    if (!url)
        return;
    // Not awaited: the outcome is not read.
    apps.openApplication(bundleID, *url, true);
}

void NowPlayingCoordinator::setLaunchingPlayer(const std::optional<QString> &bundleID)
{
    if (bundleID == m_launchingPlayer)
        return;
    m_launchingPlayer = bundleID;
    Q_EMIT launchingPlayerChanged();
}

QCoro::Task<> NowPlayingCoordinator::runLaunch(QPointer<NowPlayingCoordinator> self, PlayerKind kind, Clock &clock,
                                               AppleEventRunner &runner, PlayerWorkspace &workspace)
{
    auto run = MusicLauncher::launchAndPlay(kind, clock, runner, workspace);
    co_await run;
    if (self)
        self->setLaunchingPlayer(std::nullopt);
}

QCoro::Task<> NowPlayingCoordinator::runIgnoringResult(AppleEventRunner &runner, QString script, bool reuse)
{
    auto run = runner.runVoid(std::move(script), reuse);
    const auto ignored = co_await run;
    Q_UNUSED(ignored);
}

void NowPlayingCoordinator::setState(const NowPlayingState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void NowPlayingCoordinator::setActiveSourceID(const std::optional<QString> &id)
{
    if (id == m_activeSourceID)
        return;
    m_activeSourceID = id;
    Q_EMIT activeSourceIDChanged();
}

void NowPlayingCoordinator::setInstalledPlayers(const QList<MusicPlayerOption> &players)
{
    if (players == m_installedPlayers)
        return;
    m_installedPlayers = players;
    Q_EMIT installedPlayersChanged();
}

} // namespace tavrenhold
