#include "MprisScriptHost.h"

#include "base/Wakeup.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tavrenhold::platform {

namespace {

const QString mprisPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString mprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString noTrackPath = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QChar separator{0x1F};

enum class Op {
    state,          // the now-playing source's state script
    position,       // its position script
    artwork,        // "return artwork url of current track"
    play,           // "play"
    pause,          // "pause"
    playPause,      // "playpause"
    next,           // "next track"
    previous,       // "previous track"
    seek,           // "set player position to <seconds>"
    playerState,    // the launcher's "return player state as text"
    reveal,         // the coordinator's reveal script
    favourite,      // the coordinator's favourite script
    favouriteCheck, // the coordinator's favourite check
};

// The state script's body, with the player's identity expression; Spotify's also reads the artwork.
QString stateBody(bool spotify)
{
    QString body = QStringLiteral("set sep to (character id 31)\n"
                                  "set extraField to \"\"\n"
                                  "set theState to player state as text\n"
                                  "if theState is not \"playing\" and theState is not \"paused\" then return \"stopped\"\n"
                                  "set thePosition to 0\n"
                                  "try\n"
                                  "\tset thePosition to player position\n"
                                  "end try\n"
                                  "set theTrack to current track\n"
                                  "set theID to \"\"\n"
                                  "try\n"
                                  "\tset theID to ");
    body += spotify ? QStringLiteral("(id of theTrack) as text") : QStringLiteral("(persistent ID of theTrack) as text");
    body += QStringLiteral("\nend try");
    if (spotify)
        body += QStringLiteral("\n\ttry\n\t\tset extraField to artwork url of theTrack\n\tend try");
    body += QStringLiteral("\nreturn theState & sep & theID & sep & (name of theTrack) & sep & (artist of theTrack) & sep & "
                           "(album of theTrack) & sep & ((duration of theTrack) as text) & sep & (thePosition as text) & "
                           "sep & extraField");
    return body;
}

const QString positionBody = QStringLiteral(
    "set theState to player state as text\n"
    "if theState is not \"playing\" and theState is not \"paused\" then return \"stopped\"\n"
    "return theState & (character id 31) & (player position as text)");

const QString revealBody = QStringLiteral("try\n\treveal current track\nend try\nactivate");

const QString favouriteBody = QStringLiteral("try\n"
                                             "\tset favorited of current track to true\n"
                                             "on error\n"
                                             "\ttry\n"
                                             "\t\tset loved of current track to true\n"
                                             "\ton error\n"
                                             "\t\ttry\n"
                                             "\t\t\tduplicate current track to playlist \"Favorites\"\n"
                                             "\tend try\n"
                                             "\tend try\n"
                                             "end try");

const QString favouriteCheckBody = QStringLiteral("try\n"
                                                  "\treturn (favorited of current track) as text\n"
                                                  "on error\n"
                                                  "\ttry\n"
                                                  "\t\treturn (loved of current track) as text\n"
                                                  "\tend try\n"
                                                  "end try\n"
                                                  "return \"false\"");

// A number as a script writes it in text: a point, no grouping, no exponent for ordinary values.
QString realText(double value)
{
    if (!std::isfinite(value))
        value = 0;
    return QString::number(value, 'g', 15);
}

// MPRIS playback status to the scripting word.
QString stateWord(const QString &status)
{
    if (status == QLatin1String("Playing"))
        return QStringLiteral("playing");
    if (status == QLatin1String("Paused"))
        return QStringLiteral("paused");
    return QStringLiteral("stopped");
}

// A number out of a D-Bus value; anything that is no finite number is absent.
std::optional<double> numberOf(const QVariant &value)
{
    bool ok = false;
    const double n = value.toDouble(&ok);
    if (!ok || !std::isfinite(n))
        return std::nullopt;
    return n;
}

QString textOf(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return value.toStringList().join(QStringLiteral(", "));
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        // An array of strings that was not demarshalled (artists).
        const auto arg = value.value<QDBusArgument>();
        if (arg.currentType() == QDBusArgument::ArrayType)
            return qdbus_cast<QStringList>(arg).join(QStringLiteral(", "));
        return QString();
    }
    return value.toString();
}

// The player's current track, as MPRIS metadata.
struct Track {
    QVariantMap metadata;
    bool present() const
    {
        if (metadata.isEmpty())
            return false;
        return textOf(metadata.value(QStringLiteral("mpris:trackid"))) != noTrackPath;
    }
    QString id() const { return textOf(metadata.value(QStringLiteral("mpris:trackid"))); }
    QString text(const char *key) const { return textOf(metadata.value(QLatin1String(key))); }
    // Microseconds; absent when the player gives no length.
    std::optional<double> lengthMicros() const
    {
        const auto n = numberOf(metadata.value(QStringLiteral("mpris:length")));
        if (!n || *n < 0)
            return std::nullopt;
        return n;
    }
};

QVariantMap metadataOf(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

struct Call {
    Wakeup wakeup;
    std::optional<QDBusMessage> reply;
};

// What one D-Bus call came to: its reply, or the script error number it stands for.
struct CallResult {
    QVariant value; // the first argument of the reply (a property's value, unwrapped)
    int error = 0;
};

} // namespace

struct MprisScriptHost::Program {
    int timeoutSeconds = 0;
    QString bundleID;
    Op op = Op::play;
    bool spotifyState = false; // the state body with Spotify's identity expression and artwork field
    double seekTo = 0;
};

struct MprisScriptHost::Run {
    int timeoutMs = 0;
    bool timedOut = false;
    std::shared_ptr<Call> current;
    std::shared_ptr<void> timer;
};

namespace {

class MprisScript final : public ScriptHost::Script {
public:
    explicit MprisScript(QString text) : source(std::move(text)) {}
    const QString source;
    bool compiled = false;
    std::optional<MprisScriptHost::Program> program; // set once compiled, when recognised
};

std::optional<MprisScriptHost::Program> recognise(const QString &source)
{
    static const QRegularExpression timeoutLine(QStringLiteral("^with timeout of ([1-9][0-9]{0,3}) seconds$"));
    static const QRegularExpression tellLine(QStringLiteral("^tell application id \"([^\"\\n]+)\"$"));
    static const QRegularExpression seekBody(QStringLiteral("^set player position to (-?[0-9]+(\\.[0-9]+)?)$"));

    const QStringList lines = source.split(QLatin1Char('\n'));
    if (lines.size() < 5 || lines.at(lines.size() - 2) != QLatin1String("end tell")
        || lines.last() != QLatin1String("end timeout"))
        return std::nullopt;
    const auto timeout = timeoutLine.match(lines.at(0));
    const auto tell = tellLine.match(lines.at(1));
    if (!timeout.hasMatch() || !tell.hasMatch())
        return std::nullopt;

    MprisScriptHost::Program program;
    program.timeoutSeconds = timeout.captured(1).toInt();
    program.bundleID = tell.captured(1);
    const QString body = lines.mid(2, lines.size() - 4).join(QLatin1Char('\n'));

    static const QString spotifyState = stateBody(true);
    static const QString musicState = stateBody(false);
    static const QHash<QString, Op> fixed{
        {positionBody, Op::position},
        {QStringLiteral("return artwork url of current track"), Op::artwork},
        {QStringLiteral("play"), Op::play},
        {QStringLiteral("pause"), Op::pause},
        {QStringLiteral("playpause"), Op::playPause},
        {QStringLiteral("next track"), Op::next},
        {QStringLiteral("previous track"), Op::previous},
        {QStringLiteral("return player state as text"), Op::playerState},
        {revealBody, Op::reveal},
        {favouriteBody, Op::favourite},
        {favouriteCheckBody, Op::favouriteCheck},
    };
    if (body == spotifyState || body == musicState) {
        program.op = Op::state;
        program.spotifyState = body == spotifyState;
        return program;
    }
    if (const auto found = fixed.constFind(body); found != fixed.constEnd()) {
        program.op = *found;
        return program;
    }
    if (const auto seek = seekBody.match(body); seek.hasMatch()) {
        bool ok = false;
        program.seekTo = QLocale::c().toDouble(seek.captured(1), &ok);
        if (!ok || !std::isfinite(program.seekTo))
            return std::nullopt;
        program.op = Op::seek;
        return program;
    }
    return std::nullopt;
}

// Sends msg and waits for its reply, the call's own time-out or the script's, whichever comes first.
QCoro::Task<CallResult> call(QDBusConnection bus, QDBusMessage msg, std::shared_ptr<MprisScriptHost::Run> run)
{
    if (run->timedOut)
        co_return CallResult{{}, ScriptHost::timedOutError};
    auto pending = std::make_shared<Call>();
    const QDBusPendingCall sent = bus.asyncCall(msg, run->timeoutMs);
    if (sent.isFinished()) {
        // Failed at once (no bus): there is nothing to wait for.
        pending->reply = sent.reply();
    } else {
        run->current = pending;
        auto *watcher = new QDBusPendingCallWatcher(sent);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [pending, watcher] {
            pending->reply = watcher->reply();
            watcher->deleteLater();
            // Resume from the event loop, not inside the watcher's signal.
            QTimer::singleShot(0, [pending] { pending->wakeup.fire(); });
        });
        auto waiting = pending->wakeup.wait();
        co_await waiting;
        run->current.reset();
    }

    if (!pending->reply)
        co_return CallResult{{}, ScriptHost::timedOutError};
    const QDBusMessage &reply = *pending->reply;
    if (reply.type() != QDBusMessage::ReplyMessage)
        co_return CallResult{{}, MprisScriptHost::errorNumberFor(QDBusError(reply).type())};
    QVariant value = reply.arguments().value(0);
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    co_return CallResult{value, 0};
}

QDBusMessage propertyGet(const QString &busName, const QString &name)
{
    QDBusMessage msg = QDBusMessage::createMethodCall(busName, mprisPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    msg << playerInterface << name;
    return msg;
}

QDBusMessage playerCall(const QString &busName, const QString &method, const QVariantList &args = {})
{
    QDBusMessage msg = QDBusMessage::createMethodCall(busName, mprisPath, playerInterface, method);
    msg.setArguments(args);
    return msg;
}

ScriptHost::Outcome failure(int number) { return ScriptHost::errorInfo(number); }
ScriptHost::Outcome reply(QVariant value = {}) { return ScriptHost::Reply{std::move(value)}; }


QString methodFor(Op op)
{
    switch (op) {
    case Op::play:
        return QStringLiteral("Play");
    case Op::pause:
        return QStringLiteral("Pause");
    case Op::playPause:
        return QStringLiteral("PlayPause");
    case Op::next:
        return QStringLiteral("Next");
    case Op::previous:
        return QStringLiteral("Previous");
    default:
        return QString();
    }
}

QDBusMessage nameHasOwner(const QString &busName)
{
    QDBusMessage msg = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    msg << busName;
    return msg;
}

QDBusMessage raise(const QString &busName)
{
    return QDBusMessage::createMethodCall(busName, mprisPath, rootInterface, QStringLiteral("Raise"));
}

const QString playbackStatusKey = QStringLiteral("PlaybackStatus");
const QString positionKey = QStringLiteral("Position");
const QString metadataKey = QStringLiteral("Metadata");
const QString trackIDKey = QStringLiteral("mpris:trackid");
const QString setPositionMethod = QStringLiteral("SetPosition");
const QString seekMethod = QStringLiteral("Seek");
const QString falseText = QStringLiteral("false");
const QString spotifyBundleID = QStringLiteral("com.spotify.client");

} // namespace

MprisScriptHost::MprisScriptHost(QDBusConnection bus, QString musicBusName, TimerFactory timers)
    : m_bus(std::move(bus)), m_musicBusName(std::move(musicBusName)), m_timers(std::move(timers))
{
    if (!m_timers) {
        m_timers = [](Millis d, std::function<void()> fire) -> std::shared_ptr<void> {
            auto timer = std::make_shared<QTimer>();
            timer->setSingleShot(true);
            QObject::connect(timer.get(), &QTimer::timeout, timer.get(), std::move(fire));
            timer->start(d);
            return timer;
        };
    }
}

MprisScriptHost::~MprisScriptHost() = default;

QString MprisScriptHost::musicBusNameFromEnvironment()
{
    QString name = qEnvironmentVariable("TAVRENHOLD_MUSIC_MPRIS_NAME").trimmed();
    if (name.isEmpty())
        return QString();
    if (!name.startsWith(mprisPrefix))
        name.prepend(mprisPrefix);
    // A well-known bus name: dot-separated elements of letters, digits, '_' and '-', none starting with
    // a digit.
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"));
    if (name.size() > 255 || !valid.match(name).hasMatch())
        return QString();
    return name;
}

QString MprisScriptHost::busNameFor(const QString &bundleID) const
{
    if (bundleID == QLatin1String("com.spotify.client"))
        return QStringLiteral("org.mpris.MediaPlayer2.spotify");
    if (bundleID == QLatin1String("com.apple.Music"))
        return m_musicBusName;
    return QString();
}

int MprisScriptHost::errorNumberFor(QDBusError::ErrorType type)
{
    switch (type) {
    case QDBusError::NoError:
        return 0;
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::NoNetwork:
    case QDBusError::BadAddress:
    case QDBusError::InvalidService:
        return notRunningError;
    case QDBusError::AccessDenied:
        return deniedError;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return timedOutError;
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownProperty:
    case QDBusError::PropertyReadOnly:
    case QDBusError::InvalidArgs:
    case QDBusError::InvalidSignature:
    case QDBusError::NotSupported:
    case QDBusError::InvalidObjectPath:
    case QDBusError::InvalidInterface:
    case QDBusError::InvalidMember:
        return notUnderstoodError;
    default:
        return generalError;
    }
}

ScriptHost::ScriptPtr MprisScriptHost::makeScript(const QString &source)
{
    return std::make_shared<MprisScript>(source);
}

std::optional<QString> MprisScriptHost::replyText(const Reply &reply) const
{
    const QVariant &v = reply.value;
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toString();
    case QMetaType::Double:
        return realText(v.toDouble());
    default:
        return std::nullopt;
    }
}

QCoro::Task<ScriptHost::Outcome> MprisScriptHost::execute(ScriptPtr script)
{
    auto *ours = dynamic_cast<MprisScript *>(script.get());
    if (!ours)
        co_return failure(doesNotCompileError);
    // Compiled the first time it runs; a kept script is not compiled again.
    if (!ours->compiled) {
        ours->program = recognise(ours->source);
        ours->compiled = ours->program.has_value();
    }
    if (!ours->program)
        co_return failure(doesNotCompileError);

    const Program program = *ours->program;
    auto run = std::make_shared<Run>();
    run->timeoutMs = program.timeoutSeconds * 1000;
    run->timer = m_timers(Millis(run->timeoutMs), [weak = std::weak_ptr<Run>(run)] {
        const auto r = weak.lock();
        if (!r)
            return;
        r->timedOut = true;
        if (auto pending = r->current)
            QTimer::singleShot(0, [pending] { pending->wakeup.fire(); });
    });
    auto work = carryOut(program, run);
    Outcome outcome = co_await work;
    run->timer.reset();
    co_return outcome;
}

QCoro::Task<ScriptHost::Outcome> MprisScriptHost::carryOut(Program program, std::shared_ptr<Run> run)
{
    const QString busName = busNameFor(program.bundleID);
    if (busName.isEmpty())
        co_return failure(noApplicationError);

    // Is the player on the bus at all?
    {
        auto asking = call(m_bus, nameHasOwner(busName), run);
        const CallResult owner = co_await asking;
        if (owner.error)
            co_return failure(owner.error);
        if (!owner.value.toBool())
            co_return failure(notRunningError);
    }

    switch (program.op) {
    case Op::favourite:
        // Favourites have no MPRIS counterpart: nothing to set.
        co_return reply();
    case Op::favouriteCheck:
        co_return reply(falseText);
    case Op::reveal: {
        // "activate": bring the player forward where it can; a player that cannot is left alone.
        auto raising = call(m_bus, raise(busName), run);
        const CallResult raised = co_await raising;
        if (raised.error == notRunningError || raised.error == timedOutError || raised.error == deniedError)
            co_return failure(raised.error);
        co_return reply();
    }
    case Op::play:
    case Op::pause:
    case Op::playPause:
    case Op::next:
    case Op::previous: {
        auto sending = call(m_bus, playerCall(busName, methodFor(program.op)), run);
        const CallResult sent = co_await sending;
        if (sent.error)
            co_return failure(sent.error);
        co_return reply();
    }
    default:
        break;
    }

    if (program.op == Op::artwork || program.op == Op::seek) {
        auto reading = call(m_bus, propertyGet(busName, metadataKey), run);
        const CallResult read = co_await reading;
        if (read.error)
            co_return failure(read.error);
        const Track track{metadataOf(read.value)};
        if (!track.present())
            co_return failure(noObjectError);
        if (program.op == Op::artwork)
            co_return reply(track.text("mpris:artUrl"));

        // Seek: kept within the track, never handed a non-finite or negative position.
        double target = std::max(program.seekTo, 0.0) * 1e6;
        if (const auto length = track.lengthMicros())
            target = std::min(target, *length);
        const QVariant trackID = track.metadata.value(trackIDKey);
        if (trackID.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
            auto seeking = call(m_bus,
                                playerCall(busName, setPositionMethod,
                                           {QVariant::fromValue(trackID.value<QDBusObjectPath>()), qlonglong(target)}),
                                run);
            const CallResult sought = co_await seeking;
            if (sought.error)
                co_return failure(sought.error);
            co_return reply();
        }
        // Without a track id: a relative seek from where the player is.
        auto positioning = call(m_bus, propertyGet(busName, positionKey), run);
        const CallResult position = co_await positioning;
        if (position.error)
            co_return failure(position.error);
        const double offset = target - numberOf(position.value).value_or(0.0);
        auto seeking = call(m_bus, playerCall(busName, seekMethod, {qlonglong(offset)}), run);
        const CallResult sought = co_await seeking;
        if (sought.error)
            co_return failure(sought.error);
        co_return reply();
    }

    // Scripts that begin with the player state: state, position, the launcher's state question.
    auto asking = call(m_bus, propertyGet(busName, playbackStatusKey), run);
    const CallResult status = co_await asking;
    if (status.error)
        co_return failure(status.error);
    const QString word = stateWord(status.value.toString());
    if (program.op == Op::playerState)
        co_return reply(word);
    if (word == QLatin1String("stopped"))
        co_return reply(word);

    auto positioning = call(m_bus, propertyGet(busName, positionKey), run);
    const CallResult position = co_await positioning;
    if (program.op == Op::position) {
        if (position.error)
            co_return failure(position.error);
        co_return reply(word + separator + realText(numberOf(position.value).value_or(0.0) / 1e6));
    }
    // The state script reads the position inside a "try": a player without one answers 0.
    const double seconds = position.error ? 0.0 : numberOf(position.value).value_or(0.0) / 1e6;

    auto reading = call(m_bus, propertyGet(busName, metadataKey), run);
    const CallResult read = co_await reading;
    if (read.error)
        co_return failure(read.error);
    const Track track{metadataOf(read.value)};
    if (!track.present())
        co_return failure(noObjectError);

    // Spotify gives durations in milliseconds, Music in seconds.
    const double micros = track.lengthMicros().value_or(0.0);
    const QString duration = program.bundleID == spotifyBundleID
        ? QString::number(qlonglong(std::llround(micros / 1000.0)))
        : realText(micros / 1e6);
    const QStringList fields{word,
                             track.id(),
                             track.text("xesam:title"),
                             track.text("xesam:artist"),
                             track.text("xesam:album"),
                             duration,
                             realText(seconds),
                             program.spotifyState ? track.text("mpris:artUrl") : QString()};
    co_return reply(fields.join(separator));
}

} // namespace tavrenhold::platform
