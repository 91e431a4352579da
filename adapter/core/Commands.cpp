#include "Commands.h"

#include "Lifeline.h"
#include "Mpris.h"

#include <QCoreApplication>
#include <QCoroProcess>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>

namespace tavrenhold::adapter {

using namespace mpris;

namespace {

// The helper waits this long for the test client, inside the program's 15 s budget for the probe.
constexpr int kTestClientTimeoutMs = 12'000;

struct Found {
    bool busAnswered = false;
    std::optional<PlayerState> player;
};

// One reading of every player, then the now-playing choice among them. Players are ordered by name;
// with nothing to tell which started last, the first in that order wins a tie.
QCoro::Task<Found> findNowPlaying(QDBusConnection bus, ChoiceRules rules)
{
    Found found;
    const auto players = co_await listPlayers(bus);
    if (!players)
        co_return found;
    found.busAnswered = true;
    std::vector<QCoro::Task<std::optional<FetchedPlayer>>> reads;
    for (const BusPlayer &p : *players)
        reads.push_back(fetchPlayer(bus, p.name));
    std::vector<PlayerState> states;
    for (std::size_t i = 0; i < reads.size(); ++i) {
        if (const auto fetched = co_await reads[i])
            states.push_back(stateFrom(players->at(i).name, *fetched));
    }
    if (const auto chosen = chooseNowPlaying(states, rules))
        found.player = states[*chosen];
    co_return found;
}

bool isObjectPath(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("^/([A-Za-z0-9_]+(/[A-Za-z0-9_]+)*)?$"));
    return re.match(s).hasMatch();
}

bool succeeded(const QDBusMessage &reply) { return reply.type() == QDBusMessage::ReplyMessage; }

QCoro::Task<int> runGet(QDBusConnection bus, Invocation inv)
{
    const Found found = co_await findNowPlaying(bus, {.allowMissingTitle = inv.allowMissingTitle});
    if (!found.busAnswered)
        co_return ExitFailure;
    if (!found.player)
        co_return ExitNoPlayer;
    std::optional<QByteArray> art;
    if (inv.artwork && found.player->track.artUrl)
        art = co_await fetchArtwork(*found.player->track.artUrl);
    const Payload payload = payloadFor(*found.player, std::move(art));
    if (!writeOut(QJsonDocument(toJson(payload)).toJson(QJsonDocument::Compact) + '\n'))
        co_return kExitOutputClosed;
    co_return ExitOk;
}

QCoro::Task<int> runSend(QDBusConnection bus, Invocation inv)
{
    const Found found = co_await findNowPlaying(bus, {.allowMissingTitle = true, .includeStopped = true});
    if (!found.busAnswered)
        co_return ExitFailure;
    if (!found.player)
        co_return ExitNoPlayer;
    QString method;
    switch (inv.sendCode) {
    case 0: method = QStringLiteral("Play"); break;
    case 1: method = QStringLiteral("Pause"); break;
    case 2: method = QStringLiteral("PlayPause"); break;
    case 4: method = QStringLiteral("Next"); break;
    case 5: method = QStringLiteral("Previous"); break;
    default: co_return ExitUsage;
    }
    const QDBusMessage reply = co_await callPlayer(bus, found.player->busName, method);
    co_return succeeded(reply) ? ExitOk : ExitFailure;
}

QCoro::Task<int> runSeek(QDBusConnection bus, Invocation inv)
{
    const Found found = co_await findNowPlaying(bus, {.allowMissingTitle = true});
    if (!found.busAnswered)
        co_return ExitFailure;
    if (!found.player)
        co_return ExitNoPlayer;
    const PlayerState &player = *found.player;
    qint64 target = std::max<qint64>(0, inv.seekUs);
    if (player.track.lengthUs)
        target = std::min(target, *player.track.lengthUs);

    // SetPosition needs the current track's id (a player ignores it for any other track).
    const std::optional<QString> &id = player.track.trackId;
    if (id && isObjectPath(*id) && !id->endsWith(QLatin1String("/TrackList/NoTrack"))) {
        const QString method = QStringLiteral("SetPosition");
        const QVariantList args{QVariant::fromValue(QDBusObjectPath(*id)), QVariant::fromValue(qlonglong(target))};
        const QDBusMessage reply = co_await callPlayer(bus, player.busName, method, args);
        co_return succeeded(reply) ? ExitOk : ExitFailure;
    }
    // Without a usable track id: a relative seek from where it stands.
    const auto here = player.positionAt(QDateTime::currentDateTimeUtc());
    if (!here)
        co_return ExitFailure;
    const QString method = QStringLiteral("Seek");
    const QVariantList args{QVariant::fromValue(qlonglong(target - *here))};
    const QDBusMessage reply = co_await callPlayer(bus, player.busName, method, args);
    co_return succeeded(reply) ? ExitOk : ExitFailure;
}

QCoro::Task<int> runTest(QDBusConnection bus, Invocation inv)
{
    if (!co_await ping(bus))
        co_return ExitFailure;
    if (inv.testClient.isEmpty())
        co_return ExitOk;
    const QFileInfo client(inv.testClient);
    if (!client.isFile() || !client.isExecutable())
        co_return ExitFailure;
    QProcess process;
    process.setProgram(client.absoluteFilePath());
    process.setArguments({QStringLiteral("test"),
                          QStringLiteral("--helper=") + QCoreApplication::applicationFilePath()});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    const bool started = co_await qCoro(process).start();
    if (!started)
        co_return ExitFailure;
    if (!co_await qCoro(process).waitForFinished(std::chrono::milliseconds(kTestClientTimeoutMs))) {
        process.kill();
        process.waitForFinished(1000);
        co_return ExitFailure;
    }
    co_return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : ExitFailure;
}

QCoro::Task<int> runStream(QDBusConnection bus, Invocation inv)
{
    auto *session = new StreamSession(bus, inv, QCoreApplication::instance());
    QPointer<StreamSession> guard(session);
    const bool ok = co_await session->start();
    if (!ok) {
        if (guard)
            guard->deleteLater();
        co_return ExitFailure;
    }
    co_return -1;
}

} // namespace

QCoro::Task<int> runCommand(QDBusConnection bus, Invocation invocation)
{
    if (!bus.isConnected())
        co_return ExitFailure;
    switch (invocation.command) {
    case Command::Test: co_return co_await runTest(bus, invocation);
    case Command::Get: co_return co_await runGet(bus, invocation);
    case Command::Send: co_return co_await runSend(bus, invocation);
    case Command::Seek: co_return co_await runSeek(bus, invocation);
    case Command::Stream: co_return co_await runStream(bus, invocation);
    }
    co_return ExitUsage;
}

StreamSession::StreamSession(QDBusConnection bus, const Invocation &invocation, QObject *parent)
    : QObject(parent)
    , m_invocation(invocation)
    , m_tracker(new PlayerTracker(std::move(bus), this))
    , m_lines(invocation.diff)
{
    m_debounce.setSingleShot(true);
    // A coarse timer may fire up to 5 % early: the gathering window is the full debounce time.
    m_debounce.setTimerType(Qt::PreciseTimer);
    m_debounce.setInterval(invocation.debounceMs);
    m_poll.setInterval(kPositionPollMs);
    connect(&m_debounce, &QTimer::timeout, this, &StreamSession::flush);
    connect(&m_poll, &QTimer::timeout, this, [this] { m_tracker->pollPosition(m_polledOwner); });
    connect(m_tracker, &PlayerTracker::changed, this, &StreamSession::onChanged);
}

QCoro::Task<bool> StreamSession::start()
{
    QPointer<StreamSession> self(this);
    const bool ok = co_await m_tracker->start();
    if (!self || !ok)
        co_return false;
    m_started = true;
    m_debounce.stop();
    flush();
    co_return true;
}

void StreamSession::onChanged()
{
    // Gather everything that happens within the debounce time after the first change.
    if (m_started && !m_debounce.isActive())
        m_debounce.start();
}

std::optional<QByteArray> StreamSession::artworkFor(const std::optional<QString> &url)
{
    if (!url || !isWebAddress(*url))
        return m_artwork.bytesFor(url);
    if (url != m_webUrl) {
        m_webUrl = url;
        m_webBytes.reset();
        QCoro::connect(fetchArtwork(*url), this, [this, asked = *url](std::optional<QByteArray> bytes) {
            if (m_webUrl != asked || !bytes)
                return;
            m_webBytes = std::move(bytes);
            onChanged();
        });
    }
    return m_webBytes;
}

void StreamSession::flush()
{
    const auto chosen = m_tracker->nowPlaying({.allowMissingTitle = m_invocation.allowMissingTitle});
    Payload payload;
    if (chosen) {
        std::optional<QByteArray> art;
        if (m_invocation.artwork)
            art = artworkFor(chosen->state.track.artUrl);
        payload = payloadFor(chosen->state, std::move(art));
    }
    if (const auto line = m_lines.lineFor(payload); line && !writeOut(*line)) {
        QCoreApplication::exit(kExitOutputClosed);
        return;
    }
    if (chosen && chosen->state.status == PlaybackStatus::Playing) {
        m_polledOwner = chosen->owner;
        if (!m_poll.isActive())
            m_poll.start();
    } else {
        m_poll.stop();
        m_polledOwner.clear();
    }
}

} // namespace tavrenhold::adapter
