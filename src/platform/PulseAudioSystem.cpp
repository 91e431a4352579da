// The AudioSystem over libpulse. Everything runs on the main thread: the context lives on a GLib
// main loop, which is Qt's own event dispatcher, so libpulse's callbacks arrive between Qt events.
// A callback never blocks and never tears down the context it came from: such work is posted.
//
// libpulse is loaded when the server is first reached, not linked: it brings a dozen codec libraries
// the program never uses, which the dynamic loader would otherwise map before the first frame.

#include "AudioSystem.h"

#include <QLibrary>
#include <QPointer>
#include <QTimer>

#include <pulse/context.h>
#include <pulse/glib-mainloop.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace tavrenhold::platform {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds firstRetry = 1s;
constexpr std::chrono::milliseconds lastRetry = 30s;

// The libpulse functions in use, resolved from the client library and its GLib main-loop glue.
#define TAVRENHOLD_PULSE_FUNCTIONS(F) \
    F(pa_context_connect) \
    F(pa_context_disconnect) \
    F(pa_context_get_server_info) \
    F(pa_context_get_sink_info_list) \
    F(pa_context_get_sink_input_info_list) \
    F(pa_context_get_state) \
    F(pa_context_move_sink_input_by_name) \
    F(pa_context_new) \
    F(pa_context_set_default_sink) \
    F(pa_context_set_sink_mute_by_index) \
    F(pa_context_set_sink_volume_by_index) \
    F(pa_context_set_state_callback) \
    F(pa_context_set_subscribe_callback) \
    F(pa_context_subscribe) \
    F(pa_context_unref) \
    F(pa_cvolume_max) \
    F(pa_cvolume_scale) \
    F(pa_glib_mainloop_free) \
    F(pa_glib_mainloop_get_api) \
    F(pa_glib_mainloop_new) \
    F(pa_operation_unref) \
    F(pa_proplist_gets) \

struct PulseLibrary {
#define TAVRENHOLD_PULSE_MEMBER(name) decltype(&::name) name = nullptr;
    TAVRENHOLD_PULSE_FUNCTIONS(TAVRENHOLD_PULSE_MEMBER)
#undef TAVRENHOLD_PULSE_MEMBER
};

// The loaded library, or null when it is not installed (then there is no server to reach). Loaded
// once and kept for the program's life.
const PulseLibrary *loadPulse()
{
    static const std::optional<PulseLibrary> loaded = []() -> std::optional<PulseLibrary> {
        QLibrary core(QStringLiteral("pulse"), 0);
        QLibrary glib(QStringLiteral("pulse-mainloop-glib"), 0);
        if (!core.load() || !glib.load())
            return std::nullopt;
        PulseLibrary library;
        bool complete = true;
        const auto resolve = [&](auto &function, const char *name) {
            QFunctionPointer found = glib.resolve(name);
            if (!found)
                found = core.resolve(name);
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(found);
            complete = complete && found;
        };
#define TAVRENHOLD_PULSE_RESOLVE(name) resolve(library.name, #name);
        TAVRENHOLD_PULSE_FUNCTIONS(TAVRENHOLD_PULSE_RESOLVE)
#undef TAVRENHOLD_PULSE_RESOLVE
        if (!complete)
            return std::nullopt;
        return library;
    }();
    return loaded ? &*loaded : nullptr;
}

// The library's functions once loaded; only used after loadPulse() succeeded.
const PulseLibrary *pa = nullptr;

QString text(const char *s) { return s ? QString::fromUtf8(s) : QString(); }

QString proplistText(const pa_proplist *list, const char *key)
{
    return list ? text(pa->pa_proplist_gets(list, key)) : QString();
}

PortType portType(const pa_sink_port_info *port)
{
    if (!port)
        return PortType::unknown;
    switch (port->type) {
    case PA_DEVICE_PORT_TYPE_UNKNOWN:
        return PortType::unknown;
    case PA_DEVICE_PORT_TYPE_SPEAKER:
        return PortType::speaker;
    case PA_DEVICE_PORT_TYPE_HEADPHONES:
        return PortType::headphones;
    case PA_DEVICE_PORT_TYPE_HDMI:
        return PortType::hdmi;
    case PA_DEVICE_PORT_TYPE_TV:
        return PortType::tv;
    default:
        return PortType::other;
    }
}

class PulseAudioSystem final : public AudioSystem {
public:
    PulseAudioSystem(Sleeper sleeper, Start start) : m_sleeper(std::move(sleeper))
    {
        if (start == Start::now)
            this->start();
    }

    void start() override
    {
        if (m_started)
            return;
        m_started = true;
        pa = loadPulse();
        if (!pa)
            return; // no client library: no server to reach, the values stay neutral
        m_loop = pa->pa_glib_mainloop_new(nullptr);
        connectContext();
    }

    ~PulseAudioSystem() override
    {
        dropContext();
        if (m_loop)
            pa->pa_glib_mainloop_free(m_loop);
    }

    double volume() const override
    {
        const SinkRecord *sink = defaultSink();
        if (!sink || !std::isfinite(sink->volume))
            return 0;
        return std::clamp(sink->volume, 0.0, 1.0);
    }

    void setVolume(double value) override
    {
        // Not a number would pass the clamp and become an undefined integer volume: dropped.
        if (!std::isfinite(value))
            return;
        const SinkRecord *sink = defaultSink();
        if (!sink || !ready())
            return;
        const auto found = m_levels.find(sink->index);
        if (found == m_levels.end())
            return;
        pa_cvolume levels = found->second;
        const auto loudest = pa_volume_t(std::lround(std::clamp(value, 0.0, 1.0) * PA_VOLUME_NORM));
        // Scales every channel so the loudest becomes the new value: the balance stays.
        if (!pa->pa_cvolume_scale(&levels, loudest))
            return;
        unref(pa->pa_context_set_sink_volume_by_index(m_context, sink->index, &levels, nullptr, nullptr));
    }

    bool isMuted() const override
    {
        const SinkRecord *sink = defaultSink();
        return sink && sink->muted;
    }

    void setMuted(bool muted) override
    {
        const SinkRecord *sink = defaultSink();
        if (!sink || !ready())
            return;
        unref(pa->pa_context_set_sink_mute_by_index(m_context, sink->index, muted ? 1 : 0, nullptr, nullptr));
    }

    std::vector<SinkRecord> sinks() const override { return m_sinks; }
    QString defaultSinkName() const override { return m_defaultName; }

    void chooseSink(const QString &name, std::function<void()> done) override
    {
        if (!ready() || name.isEmpty()) {
            AudioSystem::chooseSink(name, std::move(done));
            return;
        }
        const quint64 id = ++m_lastJob;
        auto job = std::make_unique<Choice>();
        job->self = this;
        job->id = id;
        job->target = name.toUtf8();
        job->done = std::move(done);
        Choice *raw = job.get();
        m_choices.emplace(id, std::move(job));
        raw->pending = 1;
        unref(pa->pa_context_set_default_sink(m_context, raw->target.constData(), &PulseAudioSystem::onDefaultSet, raw));
    }

private:
    // One choice of a sink under way: the default is set, then the streams are listed and moved.
    struct Choice {
        PulseAudioSystem *self = nullptr;
        quint64 id = 0;
        QByteArray target;
        std::optional<quint32> targetIndex;
        std::vector<quint32> streams; // streams found elsewhere, to move
        int pending = 0;
        std::function<void()> done;
    };

    [[nodiscard]] bool ready() const
    {
        return m_context && pa->pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }

    const SinkRecord *defaultSink() const
    {
        if (m_defaultName.isEmpty())
            return nullptr;
        for (const SinkRecord &sink : m_sinks) {
            if (sink.name == m_defaultName)
                return &sink;
        }
        return nullptr;
    }

    static void unref(pa_operation *operation)
    {
        if (operation)
            pa->pa_operation_unref(operation);
    }

    // -- the connection ---------------------------------------------------------------------------

    void connectContext()
    {
        if (!m_loop)
            return;
        m_context = pa->pa_context_new(pa->pa_glib_mainloop_get_api(m_loop), "Tavrenhold");
        if (!m_context) {
            scheduleRetry();
            return;
        }
        pa->pa_context_set_state_callback(m_context, &PulseAudioSystem::onState, this);
        pa->pa_context_set_subscribe_callback(m_context, &PulseAudioSystem::onEvent, this);
        // No server argument: libpulse takes PULSE_SERVER, else the user's default socket.
        if (pa->pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            dropContext();
            scheduleRetry();
        }
    }

    // Disconnecting cancels the context's operations: none of their callbacks runs afterwards, so
    // the choices under way end here.
    void dropContext()
    {
        if (m_context) {
            pa->pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa->pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
            pa->pa_context_disconnect(m_context);
            pa->pa_context_unref(m_context);
            m_context = nullptr;
        }
        m_fetching = false;
        m_fetchAgain = false;
        auto choices = std::move(m_choices);
        m_choices.clear();
        for (auto &[id, choice] : choices) {
            if (choice->done)
                QTimer::singleShot(0, this, std::move(choice->done));
        }
    }

    void scheduleRetry()
    {
        const auto delay = m_retry;
        m_retry = std::min(m_retry * 2, lastRetry);
        const quint64 generation = ++m_retryGeneration;
        auto then = [guard = QPointer<PulseAudioSystem>(this), generation] {
            if (guard && guard->m_retryGeneration == generation && !guard->m_context)
                guard->connectContext();
        };
        if (m_sleeper)
            m_sleeper(delay, std::move(then));
        else
            QTimer::singleShot(delay, this, std::move(then));
    }

    static void onState(pa_context *context, void *userdata)
    {
        auto *self = static_cast<PulseAudioSystem *>(userdata);
        switch (pa->pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            self->m_retry = firstRetry;
            unref(pa->pa_context_subscribe(
                context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER |
                                                PA_SUBSCRIPTION_MASK_SINK_INPUT),
                nullptr, nullptr));
            self->refetchSoon();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            // A failed context never recovers: it is dropped outside this callback and a new one
            // is tried after a wait.
            QTimer::singleShot(0, self, [self, context] {
                if (self->m_context != context)
                    return;
                self->dropContext();
                self->publish({}, {});
                self->scheduleRetry();
            });
            break;
        default:
            break;
        }
    }

    // -- mirroring ----------------------------------------------------------------------------------

    static void onEvent(pa_context *, pa_subscription_event_type_t, uint32_t, void *userdata)
    {
        static_cast<PulseAudioSystem *>(userdata)->refetchSoon();
    }

    // Events come in bursts (a new default changes the server, two sinks and every moved stream):
    // one fetch answers all that arrived before it starts, and one more follows if any came during it.
    void refetchSoon()
    {
        if (m_fetching) {
            m_fetchAgain = true;
            return;
        }
        if (m_fetchQueued)
            return;
        m_fetchQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_fetchQueued = false;
            fetch();
        });
    }

    void fetch()
    {
        if (!ready())
            return;
        m_fetching = true;
        m_fetchAgain = false;
        m_incoming.clear();
        m_incomingLevels.clear();
        m_incomingDefault.clear();
        m_fetchParts = 2;
        pa_operation *server = pa->pa_context_get_server_info(m_context, &PulseAudioSystem::onServerInfo, this);
        pa_operation *sinks = pa->pa_context_get_sink_info_list(m_context, &PulseAudioSystem::onSinkInfo, this);
        if (!server || !sinks) {
            unref(server);
            unref(sinks);
            m_fetching = false;
            return;
        }
        unref(server);
        unref(sinks);
    }

    static void onServerInfo(pa_context *, const pa_server_info *info, void *userdata)
    {
        auto *self = static_cast<PulseAudioSystem *>(userdata);
        // default_sink_name is NULL when the server has no sink.
        self->m_incomingDefault = info ? text(info->default_sink_name) : QString();
        self->fetchPartDone();
    }

    static void onSinkInfo(pa_context *, const pa_sink_info *info, int eol, void *userdata)
    {
        auto *self = static_cast<PulseAudioSystem *>(userdata);
        if (eol != 0) {
            self->fetchPartDone();
            return;
        }
        if (!info)
            return;
        SinkRecord sink;
        sink.index = info->index;
        sink.name = text(info->name);
        sink.description = text(info->description);
        sink.deviceClass = proplistText(info->proplist, "device.class");
        sink.bus = proplistText(info->proplist, "device.bus");
        sink.formFactor = proplistText(info->proplist, "device.form_factor");
        sink.activePort = portType(info->active_port);
        sink.channels = info->channel_map.channels;
        sink.volume = double(pa->pa_cvolume_max(&info->volume)) / double(PA_VOLUME_NORM);
        sink.muted = info->mute != 0;
        self->m_incomingLevels[info->index] = info->volume;
        self->m_incoming.push_back(std::move(sink));
    }

    void fetchPartDone()
    {
        if (--m_fetchParts > 0)
            return;
        m_fetching = false;
        m_levels = std::move(m_incomingLevels);
        m_incomingLevels.clear();
        publish(std::move(m_incoming), m_incomingDefault);
        m_incoming.clear();
        if (m_fetchAgain) {
            m_fetchAgain = false;
            refetchSoon();
        }
    }

    void publish(std::vector<SinkRecord> sinks, const QString &defaultName)
    {
        if (sinks.empty())
            m_levels.clear();
        const double oldVolume = volume();
        const bool oldMuted = isMuted();
        const QString oldDefault = m_defaultName;
        const bool sinksDiffer = sinks != m_sinks || defaultName != m_defaultName;
        m_sinks = std::move(sinks);
        m_defaultName = defaultName;
        if (sinksDiffer)
            Q_EMIT sinksChanged();
        if (oldVolume != volume() || oldMuted != isMuted() || oldDefault != m_defaultName)
            Q_EMIT changed();
    }

    // -- choosing a sink ----------------------------------------------------------------------------

    static void onDefaultSet(pa_context *context, int, void *userdata)
    {
        // Refused or not, the streams playing elsewhere are listed and moved to the chosen sink.
        auto *choice = static_cast<Choice *>(userdata);
        choice->targetIndex.reset();
        for (const SinkRecord &sink : choice->self->m_sinks) {
            if (sink.name.toUtf8() == choice->target)
                choice->targetIndex = sink.index;
        }
        pa_operation *list = pa->pa_context_get_sink_input_info_list(context, &PulseAudioSystem::onStream, choice);
        if (list)
            unref(list);
        else
            choice->self->choiceStepDone(choice);
    }

    static void onStream(pa_context *context, const pa_sink_input_info *info, int eol, void *userdata)
    {
        auto *choice = static_cast<Choice *>(userdata);
        if (eol == 0) {
            if (info && (!choice->targetIndex || info->sink != *choice->targetIndex))
                choice->streams.push_back(info->index);
            return;
        }
        // The list is complete: the default is set, so a stream moved onto it follows later
        // choices; failures (a stream that went, one that refuses) are ignored.
        for (quint32 stream : choice->streams) {
            pa_operation *move = pa->pa_context_move_sink_input_by_name(context, stream, choice->target.constData(),
                                                                    &PulseAudioSystem::onMoved, choice);
            if (move) {
                ++choice->pending;
                unref(move);
            }
        }
        choice->self->choiceStepDone(choice);
    }

    static void onMoved(pa_context *, int, void *userdata)
    {
        auto *choice = static_cast<Choice *>(userdata);
        choice->self->choiceStepDone(choice);
    }

    void choiceStepDone(Choice *choice)
    {
        if (--choice->pending > 0)
            return;
        const auto found = m_choices.find(choice->id);
        if (found == m_choices.end())
            return;
        std::unique_ptr<Choice> finished = std::move(found->second);
        m_choices.erase(found);
        if (finished->done)
            QTimer::singleShot(0, this, std::move(finished->done));
    }

    Sleeper m_sleeper;
    bool m_started = false;
    pa_glib_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    std::chrono::milliseconds m_retry = firstRetry;
    quint64 m_retryGeneration = 0;

    std::vector<SinkRecord> m_sinks;
    QString m_defaultName;
    std::map<quint32, pa_cvolume> m_levels; // each sink's channel volumes, for scaling

    bool m_fetchQueued = false;
    bool m_fetching = false;
    bool m_fetchAgain = false;
    int m_fetchParts = 0;
    std::vector<SinkRecord> m_incoming;
    std::map<quint32, pa_cvolume> m_incomingLevels;
    QString m_incomingDefault;

    quint64 m_lastJob = 0;
    std::map<quint64, std::unique_ptr<Choice>> m_choices;
};

} // namespace

std::unique_ptr<AudioSystem> AudioSystem::makePulse(Sleeper sleeper, Start start)
{
    return std::make_unique<PulseAudioSystem>(std::move(sleeper), start);
}

} // namespace tavrenhold::platform
